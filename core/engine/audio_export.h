// Audio export: the source buffer, limited to the loop region, as a 16-bit
// WAV file in "<Live Set folder>/Omber/audio". The engine never writes the
// file: it emits the path and the bytes ("audio:write") and the host writes.
//
// JavaScript thread only; not realtime-safe (allocates the file image).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/audiofile/wav.h"
#include "core/base/atom.h"
#include "core/live/live_audio_path.h"
#include "core/live/source_buffer.h"

namespace omber::engine {

using audiofile::encodeWavPcm16;
using base::Atom;
using base::Atoms;
using base::ITransport;
using live::LoopRegion;
using live::SourceBuffer;

// The folder of exported audio, relative to the Live Set folder.
constexpr std::string_view kAudioFolder = "Omber/audio";
// Exports are written at the rate every buffer is played at.
constexpr std::uint32_t kExportRate = 48000;

// Frames [start, end) of a source.
struct FrameSpan {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// The frames of a source of `frames` frames that an export of `region`
// covers: both ends in frames, rounded half away from zero and clamped into
// the source (the end not before the start). A region that is empty once
// clamped covers the whole source.
FrameSpan exportSpan(const LoopRegion& region, std::uint64_t frames);

// "<folder>/Omber/audio/<name>.wav".
std::string audioFilePath(std::string_view liveSetFolder, std::string_view name);

// Encodes interleaved samples as a complete WAV file; throws on failure.
using WavEncoder = std::vector<std::uint8_t> (*)(const float* samples, std::size_t frames, int channels,
                                                 std::uint32_t sampleRate);

// The whole export: "audio:write" with a new path and the WAV bytes of the
// covered frames (channel count 0 is written as stereo), or one "ui:status":
// "save the Live Set first" without a folder, "nothing to export yet"
// without audio, "audio export failed" when encoding or naming fails (then
// nothing is written).
void exportAudio(const SourceBuffer& source, const LoopRegion& region, const std::string& liveSetFolder,
                 ITransport& transport, WavEncoder encode = encodeWavPcm16);

}  // namespace omber::engine

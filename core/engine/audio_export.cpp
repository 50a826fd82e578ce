#include "core/engine/audio_export.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "core/documents/config_files.h"

namespace omber::engine {
using namespace omber::documents;
namespace {

// A position in seconds as a frame inside [low, high]; not-a-number gives low.
std::uint64_t frameWithin(double seconds, std::uint64_t low, std::uint64_t high) {
  const double frame = std::round(seconds * kExportRate);
  if (!(frame > static_cast<double>(low))) return low;
  if (frame >= static_cast<double>(high)) return high;
  return static_cast<std::uint64_t>(frame);
}

}  // namespace

FrameSpan exportSpan(const LoopRegion& region, std::uint64_t frames) {
  FrameSpan span;
  span.start = frameWithin(region.start, 0, frames);
  span.end = frameWithin(region.end, span.start, frames);
  if (span.end > span.start) return span;
  return FrameSpan{0, frames};
}

std::string audioFilePath(std::string_view liveSetFolder, std::string_view name) {
  return std::string(liveSetFolder).append("/").append(kAudioFolder).append("/").append(name).append(".wav");
}

void exportAudio(const SourceBuffer& source, const LoopRegion& region, const std::string& liveSetFolder,
                 ITransport& transport, WavEncoder encode) {
  if (liveSetFolder.empty()) {
    transport.emitStatus("save the Live Set first");
    return;
  }
  const int channels = source.channels > 0 ? source.channels : 2;
  // Never more frames than the samples hold.
  const std::uint64_t frames =
      std::min<std::uint64_t>(source.frames > 0 ? static_cast<std::uint64_t>(source.frames) : 0,
                              source.samples.size() / static_cast<std::size_t>(channels));
  if (frames == 0) {
    transport.emitStatus("nothing to export yet");
    return;
  }
  const FrameSpan span = exportSpan(region, frames);
  Atoms atoms;
  try {
    const float* first = source.samples.data() + span.start * static_cast<std::uint64_t>(channels);
    std::vector<std::uint8_t> wav =
        encode(first, static_cast<std::size_t>(span.end - span.start), channels, kExportRate);
    atoms.emplace_back(audioFilePath(liveSetFolder, newConfigName()));
    atoms.emplace_back(std::move(wav));
  } catch (const std::exception&) {
    transport.emitStatus("audio export failed");
    return;
  }
  transport.emit("audio:write", std::move(atoms));
}

}  // namespace omber::engine

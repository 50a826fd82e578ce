// The texts of the server commands and the binary audio message that
// follows the commands carrying audio. Every command is a compact JSON object
// with "type" first and its members in a fixed order; it leaves as one
// "ws:send" outlet message holding the UTF-8 text as bytes.
//
// Pure functions, no state; they allocate only their results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/atom.h"
#include "core/base/transport.h"
#include "core/server/session_config.h"

namespace omber::server::commands {

using base::Atom;
using base::Atoms;
using base::WriteAudioRequest;

// The handshake configuration, the first message on every new socket: it has
// no "type"; "bpm" only with a tempo; "backend" "sa3" (and "sa3_duration_s"
// when a duration is set) only for the fixed-duration backend.
std::string handshake(const SessionConfig& config);

std::string setPromptBlend(double value);
std::string setTimbreStrength(double value);
std::string clearTimbreSource();
std::string clearStructureSource();
// "strength" is written only when given.
std::string enableLora(const std::string& id, std::optional<double> strength);
std::string disableLora(const std::string& id);
std::string swapSource(const std::string& fixtureName);
std::string setTimbreFixture(const std::string& name);
std::string setStructureFixture(const std::string& name);
std::string setTimbreSource(const std::string& name);
std::string setStructureSource(const std::string& name);
std::string loopBand(double startSeconds, double endSeconds);
std::string writeAudio(const WriteAudioRequest& request);

// Audio message: u32 channel count (a count below 1 is written as 1), u32
// frame count, then frames x channels f32 samples, little-endian. Null
// samples give that many zero samples. The same layout carries the
// handshake's source audio and the start-from-audio payload.
std::vector<std::uint8_t> audioMessage(const float* samples, std::uint64_t frames, std::int32_t channels);
// The same header with every one of sampleCount samples after it, also a
// trailing partial frame (the frame count is sampleCount / channels): the
// handshake's source audio sends the printed track whole.
std::vector<std::uint8_t> audioMessageOfSamples(const float* samples, std::uint64_t sampleCount, std::int32_t channels);

}  // namespace omber::server::commands

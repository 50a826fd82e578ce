#include "core/engine/real_transport.h"

#include <algorithm>
#include <vector>

#include "core/base/number_text.h"
#include "core/server/commands.h"
#include "link/frame.h"

namespace omber::engine {
using namespace omber::base;
using namespace omber::server;
namespace {

// Samples in a buffer frame: none for a null pointer or a product below 1.
std::size_t sampleCount(const float* samples, std::uint64_t frames, std::int32_t channels) {
  if (!samples || channels < 1 || frames < 1) return 0;
  return static_cast<std::size_t>(frames * static_cast<std::uint64_t>(channels));
}

}  // namespace

void RealTransport::writeTo(const char* group, std::vector<std::uint8_t> frame) {
  if (frame.empty()) return;  // a buffer the link frame cannot describe
  Atoms atoms;
  atoms.reserve(2);
  atoms.emplace_back(group);
  atoms.emplace_back(std::move(frame));
  outlet_("ext:write", atoms);
}

void RealTransport::emitNumber(const char* selector, double value) { outlet_(selector, Atoms{Atom(value)}); }

void RealTransport::initPlayers(const float* samples, std::uint64_t frames, std::int32_t channels, double sampleRate) {
  const auto rate = static_cast<std::uint32_t>(truncateToInt64(sampleRate));
  writeTo("players",
          link::encodeBuffer(link::FrameType::Init, samples, sampleCount(samples, frames, channels), channels, rate));
}

void RealTransport::patchPlayers(const float* stereo, std::uint32_t startFrame, std::uint64_t frames) {
  writeTo("players", link::encodePatch(startFrame, stereo, static_cast<std::size_t>(frames)));
}

PatchFrame RealTransport::openPatch(std::uint32_t startFrame, std::uint64_t frames) {
  const std::uint64_t samples = frames * 2;
  std::vector<std::uint8_t> frame;
  link::beginFrame(frame, link::FrameType::Patch, 4 + static_cast<std::size_t>(samples) * sizeof(float));
  link::putU32(frame, startFrame);
  return PatchFrame(*this, std::move(frame), samples);
}

void RealTransport::sendPatch(std::vector<std::uint8_t> frame) {
  link::finishFrame(frame, 0);
  writeTo("players", std::move(frame));
}

void RealTransport::swapPlayers(const float* samples, std::uint64_t frames, std::int32_t channels) {
  writeTo("players", link::encodeBuffer(link::FrameType::Swap, samples, sampleCount(samples, frames, channels),
                                        channels, link::kStreamRate));
}

void RealTransport::setPlayersBand(double startSeconds, double endSeconds) {
  writeTo("players", link::encodeBand(startSeconds, endSeconds));
}

void RealTransport::seekPlayers(double seconds) { writeTo("players", link::encodeSeek(seconds)); }

void RealTransport::runPlayers(bool run) { writeTo("players", link::encodeFlag(link::FrameType::Run, run)); }

void RealTransport::captureFeeders(bool on) { writeTo("feeders", link::encodeFlag(link::FrameType::Capture, on)); }

void RealTransport::sendLoopBand(double startSeconds, double endSeconds) {
  sendServerText(commands::loopBand(startSeconds, endSeconds));
}

bool RealTransport::sendWriteAudio(const float* samples, std::uint64_t frames, std::int32_t channels,
                                   const WriteAudioRequest& request, std::optional<bool> drop) {
  const std::string text = commands::writeAudio(request);
  std::vector<std::uint8_t> audio = commands::audioMessage(samples, frames, channels);
  const auto total = static_cast<std::int64_t>(text.size() + audio.size());
  const bool mayWrite = !sendGate_ || sendGate_(total);
  if (drop.value_or(false) && !mayWrite) return false;
  sendServerText(text);
  sendServerBytes(std::move(audio));
  return true;
}

// The audio is copied before the first outlet call: a host callback that
// dispatches again may replace the clip the samples belong to.
void RealTransport::sendTimbreSource(const float* samples, std::uint64_t frames, std::int32_t channels,
                                     const std::string& name) {
  std::vector<std::uint8_t> audio = commands::audioMessage(samples, frames, channels);
  sendServerText(commands::setTimbreSource(name));
  sendServerBytes(std::move(audio));
}

void RealTransport::sendStructureSource(const float* samples, std::uint64_t frames, std::int32_t channels,
                                        const std::string& name) {
  std::vector<std::uint8_t> audio = commands::audioMessage(samples, frames, channels);
  sendServerText(commands::setStructureSource(name));
  sendServerBytes(std::move(audio));
}

void RealTransport::sendEnableLora(const std::string& id, double strength) {
  sendServerText(commands::enableLora(id, strength));
}

void RealTransport::sendTimbreFixture(const std::string& name) { sendServerText(commands::setTimbreFixture(name)); }

void RealTransport::sendStructureFixture(const std::string& name) {
  sendServerText(commands::setStructureFixture(name));
}

void RealTransport::startFromSamples(std::vector<float> samples, std::int32_t channels, std::optional<double> tempo) {
  Atoms atoms;
  atoms.emplace_back(commands::audioMessageOfSamples(samples.data(), samples.size(), channels));
  if (tempo) atoms.emplace_back(*tempo);
  outlet_("core:start_from_pcm", atoms);
}

void RealTransport::emitSection(std::int32_t startBar, double startSeconds, double endSeconds) {
  outlet_("ui:section", Atoms{Atom(static_cast<double>(startBar)), Atom(startSeconds), Atom(endSeconds)});
}

void RealTransport::emitSectionPending(std::int32_t section) {
  emitNumber("ui:section_pending", static_cast<double>(section));
}

void RealTransport::emitPhase(double milliseconds) { emitNumber("ui:phase", milliseconds); }
void RealTransport::emitGridBpm(double bpm) { emitNumber("ui:gridbpm", bpm); }
void RealTransport::emitReady(std::int32_t sections) { emitNumber("ui:ready", static_cast<double>(sections)); }
void RealTransport::emitSwap() { outlet_("ui:swap", Atoms{}); }
void RealTransport::emitStatus(const std::string& text) { outlet_("ui:status", Atoms{Atom(text)}); }

void RealTransport::writeLinkFrame(const std::string& to, std::vector<std::uint8_t> frame) {
  writeTo(to.c_str(), std::move(frame));
}

void RealTransport::dropConnection(std::int32_t id) { emitNumber("ext:drop", static_cast<double>(id)); }

void RealTransport::announceRole(std::int32_t id, bool feeder) {
  outlet_("ext:role", Atoms{Atom(static_cast<double>(id)), Atom(feeder ? "feeders" : "players")});
}

void RealTransport::sendServerText(std::string_view text) {
  sendServerBytes(std::vector<std::uint8_t>(text.begin(), text.end()));
}

void RealTransport::sendServerBytes(std::vector<std::uint8_t> message) {
  Atoms atoms;
  atoms.emplace_back(std::move(message));
  outlet_("ws:send", atoms);
}

void RealTransport::emit(const char* selector, Atoms atoms) { outlet_(selector, atoms); }

}  // namespace omber::engine

#include "core/live/endpoint_table.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace omber {
namespace {

constexpr std::uint64_t kPositionBytes = 12;  // f64 play head, i32 swap count
constexpr std::uint64_t kFrameCountBytes = 4;
constexpr std::uint64_t kStereoFrameBytes = 2 * sizeof(float);

}  // namespace

EndpointTable::EndpointTable(OutletFn outlet, LiveAudioPath& live, const SourceBuffer& source)
    : live_(live),
      source_(source),
      outlet_(std::move(outlet)),
      captureIntake_([&live](std::uint64_t frames, const float* samples) { live.captureIntake(frames, samples); }) {}

Endpoint& EndpointTable::connect(std::int32_t id) {
  Endpoint endpoint;
  endpoint.reader = std::make_unique<link::FrameReader>(
      [this, id](std::uint8_t type, const std::uint8_t* payload, std::uint64_t size) {
        handleFrame(id, type, payload, size);
      });
  Endpoint& slot = endpoints_[id];
  slot = std::move(endpoint);
  return slot;
}

void EndpointTable::onConnect(std::int32_t id) { connect(id); }

void EndpointTable::onData(std::int32_t id, const std::uint8_t* data, std::size_t size) {
  auto it = endpoints_.find(id);
  Endpoint& endpoint = it != endpoints_.end() ? it->second : connect(id);
  try {
    endpoint.reader->feedOrThrow(data, size);
  } catch (...) {
    // The stream cannot be resynchronised: give the connection up.
    endpoints_.erase(id);
    outlet_("ext:drop", Atoms{Atom(static_cast<double>(id))});
  }
}

void EndpointTable::onClose(std::int32_t id) { endpoints_.erase(id); }

void EndpointTable::handleFrame(std::int32_t id, std::uint8_t type, const std::uint8_t* payload,
                                std::uint64_t size) {
  switch (static_cast<link::FrameType>(type)) {
    case link::FrameType::Hello:
      onHello(id, payload, size);
      break;
    case link::FrameType::Position:
      onPosition(endpoints_.at(id), payload, size);
      break;
    case link::FrameType::CapturePcm:
      onCapturePcm(id, payload, size);
      break;
    default:
      break;  // the engine acts only on what omber~ sends
  }
}

// Announces the role to the host; a player that joins late gets the buffer
// the others play and, while a stream plays, the band they loop.
void EndpointTable::onHello(std::int32_t id, const std::uint8_t* payload, std::uint64_t size) {
  if (size < 1) return;
  const std::uint8_t role = payload[0];
  endpoints_.at(id).role = role;
  const bool feeder = role == link::kRoleFeeder;
  outlet_("ext:role", Atoms{Atom(static_cast<double>(id)), Atom(feeder ? "feeders" : "players")});
  if (feeder) return;
  if (role == link::kRolePlayer && !source_.samples.empty()) {
    Endpoint& endpoint = endpoints_.at(id);
    endpoint.swapBase = live_.swapCount;
    endpoint.initStamp = live_.initCount;
    Atoms atoms;
    atoms.reserve(2);
    atoms.emplace_back(std::to_string(id));
    atoms.emplace_back(link::encodeBuffer(link::FrameType::Init, source_.samples.data(), source_.samples.size(),
                                          source_.channels, link::kStreamRate));
    outlet_("ext:write", atoms);
  }
  // Restating the band moves nobody's play head.
  if (live_.playing) live_.applySection(live_.loopStartBar, true);
}

// A report from an older generation (before the latest Swap) is shown but not
// kept: its play head belongs to a buffer the players no longer hold. A player
// that joined late counts its swaps from its own Init, so its count is moved
// onto the engine's count before the comparison.
void EndpointTable::onPosition(const Endpoint& endpoint, const std::uint8_t* payload, std::uint64_t size) {
  if (size < kPositionBytes) return;
  const double playHead = link::getF64(payload);
  std::int32_t swapCount = link::getI32(payload + 8);
  // Not a position at all: it would reach the phase report and the telemetry.
  if (!std::isfinite(playHead)) return;
  if (endpoint.initStamp == live_.initCount && endpoint.swapBase > 0 && swapCount >= 0 &&
      swapCount <= INT32_MAX - endpoint.swapBase) {
    swapCount += endpoint.swapBase;
  }
  live_.reportPlayHead(playHead, swapCount);
  outlet_("ui:position", Atoms{Atom(playHead)});
}

void EndpointTable::onCapturePcm(std::int32_t id, const std::uint8_t* payload, std::uint64_t size) {
  if (endpoints_.at(id).role != link::kRoleFeeder || size < kFrameCountBytes) return;
  const std::uint64_t frames = link::getU32(payload);
  if (size - kFrameCountBytes < frames * kStereoFrameBytes) return;
  // The samples may lie at any address in the chunk: copy them into floats.
  captureSamples_.resize(static_cast<std::size_t>(frames * 2));
  if (frames > 0) std::memcpy(captureSamples_.data(), payload + kFrameCountBytes, frames * kStereoFrameBytes);
  captureIntake_(frames, captureSamples_.data());
}

}  // namespace omber

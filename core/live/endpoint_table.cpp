#include "core/live/endpoint_table.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace omber::live {
namespace {

constexpr std::uint64_t kPositionBytes = 12;  // f64 play head, i32 swap count
constexpr std::uint64_t kFrameCountBytes = 4;
constexpr std::uint64_t kStereoFrameBytes = 2 * sizeof(float);

// Thrown from a reader's handler when its connection was closed or replaced
// by a message dispatched from inside an outlet call: ends the read quietly.
struct ConnectionGone {};

}  // namespace

EndpointTable::EndpointTable(ITransport& transport, LiveAudioPath& live, const SourceBuffer& source)
    : live_(live), source_(source), transport_(transport) {}

std::shared_ptr<Endpoint> EndpointTable::connect(std::int32_t id) {
  auto endpoint = std::make_shared<Endpoint>();
  Endpoint* self = endpoint.get();  // the endpoint owns the reader, so it outlives every handler call
  endpoint->reader = std::make_unique<link::FrameReader>(
      [this, self, id](std::uint8_t type, const std::uint8_t* payload, std::uint64_t size) {
        if (!self->open) throw ConnectionGone{};
        handleFrame(*self, id, type, payload, size);
      });
  std::shared_ptr<Endpoint>& slot = endpoints_[id];
  if (slot) slot->open = false;
  slot = endpoint;
  return endpoint;
}

void EndpointTable::remove(std::int32_t id) {
  const auto it = endpoints_.find(id);
  if (it == endpoints_.end()) return;
  it->second->open = false;
  endpoints_.erase(it);
}

void EndpointTable::onConnect(std::int32_t id) { connect(id); }

void EndpointTable::onData(std::int32_t id, const std::uint8_t* data, std::size_t size) {
  const auto it = endpoints_.find(id);
  // Held for the whole read: a nested close must not free the reader under it.
  const std::shared_ptr<Endpoint> endpoint = it != endpoints_.end() ? it->second : connect(id);
  if (endpoint->feeding) {
    endpoint->queued.insert(endpoint->queued.end(), data, data + size);
    return;
  }
  endpoint->feeding = true;
  try {
    endpoint->reader->feedOrThrow(data, size);
    while (endpoint->open && !endpoint->queued.empty()) {
      std::vector<std::uint8_t> next;
      next.swap(endpoint->queued);
      endpoint->reader->feedOrThrow(next.data(), next.size());
    }
  } catch (...) {
    endpoint->feeding = false;
    endpoint->queued.clear();
    // A connection already closed from inside an outlet call is not dropped
    // again. Otherwise the stream cannot be resynchronised: give it up.
    if (!endpoint->open) return;
    remove(id);
    transport_.dropConnection(id);
    return;
  }
  endpoint->feeding = false;
}

void EndpointTable::onClose(std::int32_t id) {
  const auto it = endpoints_.find(id);
  if (it == endpoints_.end()) return;
  const bool feeder = it->second->role == link::kRoleFeeder;
  remove(id);
  if (feeder) live_.feed().feederClosed(id);
}

void EndpointTable::handleFrame(Endpoint& endpoint, std::int32_t id, std::uint8_t type, const std::uint8_t* payload,
                                std::uint64_t size) {
  switch (static_cast<link::FrameType>(type)) {
    case link::FrameType::Hello: onHello(endpoint, id, payload, size); break;
    case link::FrameType::Position: onPosition(endpoint, payload, size); break;
    case link::FrameType::CapturePcm:
      if (endpoint.role == link::kRoleFeeder) onCapturePcm(id, payload, size);
      break;
    default: break;  // the engine acts only on what omber~ sends
  }
}

// Announces the role to the host; a player that joins late gets the buffer
// the others play and, while a stream plays, the band they loop. The role is
// set once: a repeated Hello changes nothing, so a peer cannot make the
// engine send it a whole source again and again. A feeder that joins (or
// reconnects) while capture is on is told so, or an armed print would wait
// for it for ever.
void EndpointTable::onHello(Endpoint& endpoint, std::int32_t id, const std::uint8_t* payload, std::uint64_t size) {
  if (size < 1 || endpoint.helloSeen) return;
  const std::uint8_t role = payload[0];
  endpoint.role = role;
  endpoint.helloSeen = true;
  const bool feeder = role == link::kRoleFeeder;
  transport_.announceRole(id, feeder);
  if (!endpoint.open) return;
  if (feeder) {
    if (live_.playback().capturing()) {
      transport_.writeLinkFrame(std::to_string(id), link::encodeFlag(link::FrameType::Capture, true));
    }
    return;
  }
  if (role == link::kRolePlayer && !source_.samples.empty()) {
    endpoint.swapBase = live_.playback().swapCount();
    endpoint.initStamp = live_.playback().initCount();
    transport_.writeLinkFrame(std::to_string(id),
                              link::encodeBuffer(link::FrameType::Init, source_.samples.data(), source_.samples.size(),
                                                 source_.channels, link::kStreamRate));
  }
  // Restating the band moves nobody's play head.
  if (live_.playback().playing() && endpoint.open) live_.grid().restateSection();
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
  if (endpoint.initStamp == live_.playback().initCount() && endpoint.swapBase > 0 && swapCount >= 0 &&
      swapCount <= INT32_MAX - endpoint.swapBase) {
    swapCount += endpoint.swapBase;
  }
  live_.playback().reportPlayHead(playHead, swapCount);
  transport_.emit("ui:position", Atoms{Atom(playHead)});
}

void EndpointTable::onCapturePcm(std::int32_t id, const std::uint8_t* payload, std::uint64_t size) {
  if (size < kFrameCountBytes) return;
  const std::uint64_t frames = link::getU32(payload);
  if (size - kFrameCountBytes < frames * kStereoFrameBytes) return;
  // The samples may lie at any address in the chunk: copy them into floats.
  // A capture that arrives from inside the intake's outlet calls gets its
  // own copy, so the outer one keeps reading valid samples.
  std::vector<float> nested;
  std::vector<float>& samples = capturing_ ? nested : captureSamples_;
  samples.resize(static_cast<std::size_t>(frames * 2));
  if (frames > 0) std::memcpy(samples.data(), payload + kFrameCountBytes, frames * kStereoFrameBytes);
  const bool outer = !capturing_;
  capturing_ = true;
  try {
    if (captureIntake_) captureIntake_(id, frames, samples.data());
  } catch (...) {
    if (outer) capturing_ = false;
    throw;
  }
  if (outer) capturing_ = false;
}

}  // namespace omber::live

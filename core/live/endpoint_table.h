// The bridge connections of the omber~ instances, as the host reports them:
// one Endpoint per connection id, each with its own frame reader and the
// role its Hello announced. Owned by the engine; JavaScript thread only;
// nothing here is realtime-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/host/atom.h"
#include "core/live/live_audio_path.h"
#include "core/server/source_buffer.h"
#include "link/frame.h"

namespace omber {

struct Endpoint {
  std::unique_ptr<link::FrameReader> reader;  // its handler is bound to (table, id)
  std::uint8_t role = 0;                      // 0 until a Hello arrives; 0 player, 1 feeder
  // A player that joined late got its own Init after `swapBase` swaps of the
  // others; its reported swap counts start again at 0 from there. Valid while
  // `initStamp` equals the live path's init count (a common Init resets all).
  std::int32_t swapBase = 0;
  std::uint32_t initStamp = 0;
};

class EndpointTable {
 public:
  // Where accepted CapturePcm audio goes: frames x 2 stereo samples, valid
  // only during the call.
  using CaptureIntake = std::function<void(std::uint64_t frames, const float* samples)>;

  EndpointTable(OutletFn outlet, LiveAudioPath& live, const SourceBuffer& source);
  EndpointTable(const EndpointTable&) = delete;
  EndpointTable& operator=(const EndpointTable&) = delete;

  // "ext:conn": a fresh endpoint for the id, replacing one with the same id.
  void onConnect(std::int32_t id);
  // "ext:data": feeds the bytes to the id's reader, creating the endpoint
  // when it is missing. A framing error, or any error while the frames are
  // handled, emits "ext:drop" with the id and removes the endpoint.
  void onData(std::int32_t id, const std::uint8_t* data, std::size_t size);
  // "ext:close": removes the endpoint; an unknown id changes nothing.
  void onClose(std::int32_t id);

  // Replaces the capture intake (the live audio path's captureIntake by
  // default), for tests and measurements.
  void setCaptureIntake(CaptureIntake intake) { captureIntake_ = std::move(intake); }

  const std::map<std::int32_t, Endpoint>& endpoints() const { return endpoints_; }

 private:
  Endpoint& connect(std::int32_t id);
  // One complete frame from connection id; the payload is valid only during the call.
  void handleFrame(std::int32_t id, std::uint8_t type, const std::uint8_t* payload, std::uint64_t size);
  void onHello(std::int32_t id, const std::uint8_t* payload, std::uint64_t size);
  void onPosition(const Endpoint& endpoint, const std::uint8_t* payload, std::uint64_t size);
  void onCapturePcm(std::int32_t id, const std::uint8_t* payload, std::uint64_t size);

  std::map<std::int32_t, Endpoint> endpoints_;
  LiveAudioPath& live_;
  const SourceBuffer& source_;
  OutletFn outlet_;
  CaptureIntake captureIntake_;
  std::vector<float> captureSamples_;  // aligned copy of the latest CapturePcm, reused
};

}  // namespace omber

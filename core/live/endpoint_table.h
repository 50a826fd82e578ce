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

#include "core/base/atom.h"
#include "core/live/live_audio_path.h"
#include "core/live/source_buffer.h"
#include "link/frame.h"

namespace omber::live {

using base::Atom;
using base::Atoms;
using base::ITransport;

struct Endpoint {
  std::unique_ptr<link::FrameReader> reader;  // its handler is bound to this endpoint
  std::uint8_t role = 0;                      // 0 until a Hello arrives; 0 player, 1 feeder
  bool helloSeen = false;                     // a later Hello changes nothing
  // Cleared when the connection is closed or replaced; frames the reader
  // still holds for it are then ignored.
  bool open = true;
  // True while the reader hands frames over. Bytes for this connection that
  // arrive meanwhile (an outlet callback that dispatches again) wait in
  // `queued` and are read right after, in order.
  bool feeding = false;
  std::vector<std::uint8_t> queued;
  // A player that joined late got its own Init after `swapBase` swaps of the
  // others; its reported swap counts start again at 0 from there. Valid while
  // `initStamp` equals the live path's init count (a common Init resets all).
  std::int32_t swapBase = 0;
  std::uint32_t initStamp = 0;
};

class EndpointTable {
 public:
  // Where accepted CapturePcm audio goes: the feeder's connection id and
  // frames x 2 stereo samples, valid only during the call.
  using CaptureIntake = std::function<void(std::int32_t feeder, std::uint64_t frames, const float* samples)>;

  EndpointTable(ITransport& transport, LiveAudioPath& live, const SourceBuffer& source);
  EndpointTable(const EndpointTable&) = delete;
  EndpointTable& operator=(const EndpointTable&) = delete;

  // An outlet callback may dispatch again while a connection's frames are
  // being handled: each endpoint is shared with the read in progress, so a
  // nested "ext:close" or "ext:conn" for the same id ends it without freeing
  // the reader under the running feed.
  //
  // "ext:conn": a fresh endpoint for the id, replacing one with the same id.
  void onConnect(std::int32_t id);
  // "ext:data": feeds the bytes to the id's reader, creating the endpoint
  // when it is missing. A framing error, or any error while the frames are
  // handled, emits "ext:drop" with the id and removes the endpoint.
  void onData(std::int32_t id, const std::uint8_t* data, std::size_t size);
  // "ext:close": removes the endpoint (a print that chose this feeder may
  // take another one); an unknown id changes nothing.
  void onClose(std::int32_t id);

  // Sets the capture intake; until then captured audio is dropped. The engine
  // routes it to the live audio path and takes the new sources it returns.
  void setCaptureIntake(CaptureIntake intake) { captureIntake_ = std::move(intake); }

  const std::map<std::int32_t, std::shared_ptr<Endpoint>>& endpoints() const { return endpoints_; }

 private:
  std::shared_ptr<Endpoint> connect(std::int32_t id);
  // Ends the id's endpoint (marks it closed) and forgets it.
  void remove(std::int32_t id);
  // One complete frame from connection id; the payload is valid only during the call.
  void handleFrame(Endpoint& endpoint, std::int32_t id, std::uint8_t type, const std::uint8_t* payload,
                   std::uint64_t size);
  void onHello(Endpoint& endpoint, std::int32_t id, const std::uint8_t* payload, std::uint64_t size);
  void onPosition(const Endpoint& endpoint, const std::uint8_t* payload, std::uint64_t size);
  void onCapturePcm(std::int32_t id, const std::uint8_t* payload, std::uint64_t size);

  std::map<std::int32_t, std::shared_ptr<Endpoint>> endpoints_;
  LiveAudioPath& live_;
  const SourceBuffer& source_;
  ITransport& transport_;
  CaptureIntake captureIntake_;
  std::vector<float> captureSamples_;  // aligned copy of the latest CapturePcm, reused
  bool capturing_ = false;             // captureSamples_ is being read by the intake
};

}  // namespace omber::live

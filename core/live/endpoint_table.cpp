#include "core/live/endpoint_table.h"

namespace omber {

EndpointTable::EndpointTable(OutletFn outlet, LiveAudioPath& live, const SourceBuffer& source)
    : live_(live), source_(source), outlet_(std::move(outlet)) {}

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

// Hello, Position and CapturePcm are handled with the player and feeder
// endpoints; until then complete frames are accepted and ignored.
void EndpointTable::handleFrame(std::int32_t, std::uint8_t, const std::uint8_t*, std::uint64_t) {
  (void)live_;
  (void)source_;
}

}  // namespace omber

#include "core/server/server_session.h"

namespace omber {

ServerSession::ServerSession(OutletFn outlet, LiveAudioPath& live, SourceBuffer& source, ChannelProvider channels)
    : channelProvider_(std::move(channels)), outlet_(std::move(outlet)), live_(live), source_(source) {}

void ServerSession::emit(const char* selector, Atoms atoms) { outlet_(selector, atoms); }

void ServerSession::resetConnection() {
  state = State::Idle;
  swap = PendingSwap{};
  streamingAnnounced = false;
  bytesReceived = 0;
}

void ServerSession::start() {
  stopped = false;
  resetConnection();
  emit("ui:status", Atoms{Atom("connecting to pod")});
  emit("cloud:resolve");
}

void ServerSession::onEndpoint(const std::string& url) { emit("ws:connect", Atoms{Atom(url)}); }

void ServerSession::onEndpointError(const std::string& text) {
  emit("ui:status", Atoms{Atom("cloud: " + text)});
}

// The handshake (configuration and source audio) arrives with the server link.
void ServerSession::onOpen() {}

// Handshake replies and the streaming intake arrive with the server link.
void ServerSession::onData(const Atom&, bool) { (void)source_; }

// The reconnect schedule arrives with the server link.
void ServerSession::onClose(std::int32_t) {}

void ServerSession::reconnectTick() {
  resetConnection();
  emit("cloud:resolve");
}

void ServerSession::stop() {
  stopped = true;
  live_.playing = false;
  emit("ws:close");
  emit("param:stop");
  emit("ui:status", Atoms{Atom("stopped")});
}

void ServerSession::beginSourceUpload() {
  stopped = true;  // closing the current socket must not reconnect
  resetConnection();
  emit("param:stop");
  emit("ui:status", Atoms{Atom("uploading captured track to pod")});
  emit("cloud:resolve");
}

}  // namespace omber

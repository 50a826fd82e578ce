// The WebSocket session with the inference server, as the engine sees it:
// the host owns the socket and the endpoint lookup, the session decides every
// step (start, connection request, handshake, readiness, streaming intake,
// reconnect, stop) and speaks only through outlet messages.
//
// The handshake, readiness and reconnects are in server_session.cpp, the
// streaming intake (sources, events, slices) in slice_intake.cpp.
//
// Owned by the engine; JavaScript thread only; no locks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/base/atom.h"
#include "core/base/transport.h"
#include "core/live/live_audio_path.h"
#include "core/base/compression.h"
#include "core/base/json.h"
#include "core/server/session_config.h"
#include "core/live/source_buffer.h"

namespace omber::server {

using base::Atom;
using base::Atoms;
using base::ByteView;
using base::JsonValue;
using base::ITransport;
using live::LiveAudioPath;
using live::SourceBuffer;

class ServerSession {
 public:
  enum class State { Idle, Handshaking, AwaitingSource, Streaming };

  // Set by "swap_ready"; the next binary message is the new source.
  struct PendingSwap {
    bool pending = false;
    std::optional<double> duration;     // seconds
    std::optional<double> channels;     // as received
    std::optional<std::int64_t> epoch;  // truncated toward zero
  };

  using ConfigProvider = std::function<SessionConfig()>;
  // The start-from-audio samples, read in place when the connection opens.
  using SamplesProvider = std::function<const std::vector<float>&()>;
  using ChannelProvider = std::function<std::int32_t()>;
  // Decodes the payload of a compressed slice. The decoded bytes stay valid
  // until the next call; a corrupt payload throws (CompressionError).
  using SliceDecompressor = std::function<ByteView(const std::uint8_t* data, std::size_t size)>;

  ServerSession(ITransport& transport, LiveAudioPath& live, SourceBuffer& source, ChannelProvider channels);
  ServerSession(const ServerSession&) = delete;
  ServerSession& operator=(const ServerSession&) = delete;

  void setConfigProvider(ConfigProvider provider) { configProvider_ = std::move(provider); }
  void setSamplesProvider(SamplesProvider provider) { samplesProvider_ = std::move(provider); }
  void setChannelProvider(ChannelProvider provider) { channelProvider_ = std::move(provider); }
  void setSliceDecompressor(SliceDecompressor decompressor) { decompressor_ = std::move(decompressor); }

  // The configuration the next handshake would carry (the defaults without a provider).
  SessionConfig config() const { return configProvider_ ? configProvider_() : SessionConfig{}; }
  bool hasSliceDecompressor() const { return static_cast<bool>(decompressor_); }

  // ---- events ----
  // "start" with a source present: reset, "connecting to pod", "cloud:resolve".
  void start();
  // "cloud:wsurl": ask the host to open the socket.
  void onEndpoint(const std::string& url);
  // "cloud:error": show the lookup failure.
  void onEndpointError(const std::string& text);
  // "ws:open": send the handshake.
  void onOpen();
  // "ws:data": handshake replies, the initial source, then streaming intake.
  // The bytes are read during the call only.
  void onData(const std::uint8_t* data, std::size_t size, bool binary);
  // "ws:close": the bounded reconnect schedule.
  void onClose(std::int32_t code);
  // "tick:reconnect": reset the per-connection state and look the pod up again.
  void reconnectTick();
  // "stop": close the socket without reconnecting.
  void stop();
  // A printed track became the new source: stop the stream and connect anew.
  void beginSourceUpload();

  // ---- data model ----
  State state = State::Idle;
  std::int32_t sourceEpoch = 0;
  std::uint64_t bytesReceived = 0;     // slice message bytes since "start" or "tick:reconnect"
  std::int32_t channels = 2;           // announced by the server
  std::int32_t reconnectAttempts = 0;  // closes since the last successful open
  bool stopped = false;                // suppresses reconnecting
  bool streamingAnnounced = false;
  // A slice failed to decode and the performer was told; cleared by the next
  // slice that decodes and by a new connection, so one fault episode is
  // reported once.
  bool sliceFaultShown = false;
  PendingSwap swap;
  // The readiness information's "knob_manifest", whole; Null when absent.
  // Read by the knob, macro and preset code.
  JsonValue knobManifest;

 private:
  // State Idle, swap pending and streaming announced cleared, bytes received 0.
  void resetConnection();
  void emit(const char* selector, Atoms atoms = {});
  void emitStatus(const char* text);

  // ---- handshake (server_session.cpp) ----
  void onHandshakeReply(const std::uint8_t* data, std::size_t size, bool binary);
  void applyReadiness(const JsonValue& ready);
  void failConnection(const std::string& reason);

  // ---- streaming intake (slice_intake.cpp) ----
  void takeInitialSource(const std::uint8_t* data, std::size_t size);
  void onStreamingMessage(const std::uint8_t* data, std::size_t size, bool binary);
  void onServerEvent(const std::uint8_t* data, std::size_t size);
  void takeSwappedSource(const std::uint8_t* data, std::size_t size);
  void takeSlice(const std::uint8_t* data, std::size_t size);
  // Replaces the source buffer with the halves of a whole message and points
  // the live audio path's buffer view at it.
  void storeSource(const std::uint8_t* data, std::size_t size, std::int32_t channelCount, std::int32_t epoch);
  // Sets the source duration to the stored buffer's when the announced one disagrees.
  void matchDurationToSource();

  ConfigProvider configProvider_;
  SamplesProvider samplesProvider_;
  ChannelProvider channelProvider_;
  SliceDecompressor decompressor_;
  ITransport& transport_;
  LiveAudioPath& live_;
  SourceBuffer& source_;
};

// A slice decompressor that owns one ZstdDecoder, so the contexts and the
// output memory are reused from slice to slice.
ServerSession::SliceDecompressor zstdSliceDecompressor();

}  // namespace omber::server

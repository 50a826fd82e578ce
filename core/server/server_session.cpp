#include "core/server/server_session.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string_view>

#include "core/base/number_text.h"
#include "core/base/text.h"
#include "core/server/commands.h"
#include "link/frame.h"

namespace omber::server {
using namespace omber::base;
namespace {

// Closes counted before the session gives up reconnecting.
constexpr std::int32_t kMaxReconnects = 30;

std::string_view textOf(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A finite number member; an infinity from an overlong JSON number counts as
// absent, so it never reaches a loop band, a frame or a later document.
std::optional<double> finiteNumber(const JsonValue& object, std::string_view key) {
  const std::optional<double> v = optNumber(object, key);
  return v && std::isfinite(*v) ? v : std::nullopt;
}

}  // namespace

ServerSession::ServerSession(ITransport& transport, LiveAudioPath& live, SourceBuffer& source, ChannelProvider channels)
    : channelProvider_(std::move(channels)), transport_(transport), live_(live), source_(source) {}

ServerSession::SliceDecompressor zstdSliceDecompressor() {
  auto decoder = std::make_shared<ZstdDecoder>();
  return [decoder](const std::uint8_t* data, std::size_t size) { return decoder->decompress(data, size); };
}

void ServerSession::emit(const char* selector, Atoms atoms) { transport_.emit(selector, std::move(atoms)); }

void ServerSession::emitStatus(const char* text) { transport_.emitStatus(text); }

void ServerSession::resetConnection() {
  state = State::Idle;
  swap = PendingSwap{};
  streamingAnnounced = false;
  sliceFaultShown = false;
  bytesReceived = 0;
}

void ServerSession::start() {
  stopped = false;
  resetConnection();
  emitStatus("connecting to pod");
  emit("cloud:resolve");
}

void ServerSession::onEndpoint(const std::string& url) { emit("ws:connect", Atoms{Atom(url)}); }

void ServerSession::onEndpointError(const std::string& text) {
  emit("ui:status", Atoms{Atom("cloud: " + shownText(text))});
}

void ServerSession::onOpen() {
  transport_.sendServerText(commands::handshake(config()));
  if (samplesProvider_) {
    const std::vector<float>& samples = samplesProvider_();
    if (!samples.empty()) {
      const std::int32_t channelCount = channelProvider_ ? channelProvider_() : 2;
      transport_.sendServerBytes(commands::audioMessageOfSamples(samples.data(), samples.size(), channelCount));
    }
  }
  state = State::Handshaking;
  reconnectAttempts = 0;
  stopped = false;
}

void ServerSession::onData(const std::uint8_t* data, std::size_t size, bool binary) {
  switch (state) {
    case State::Idle: return;
    case State::Handshaking: onHandshakeReply(data, size, binary); return;
    case State::AwaitingSource:
      if (!binary) return;
      // Streaming from here on, also for a message dispatched from inside
      // the outlet calls that load the players.
      state = State::Streaming;
      takeInitialSource(data, size);
      emit("param:start");
      emit("core:connected");
      return;
    case State::Streaming: onStreamingMessage(data, size, binary); return;
  }
}

void ServerSession::failConnection(const std::string& reason) { emit("core:connect_failed", Atoms{Atom(reason)}); }

void ServerSession::onHandshakeReply(const std::uint8_t* data, std::size_t size, bool binary) {
  if (binary) {
    failConnection("Unexpected binary during handshake");
    return;
  }
  if (size > kMaxServerJsonBytes) {
    emit("ui:status", Atoms{Atom(oversizeStatus("pod message", size, kMaxServerJsonBytes))});
    failConnection("handshake reply too large");
    return;
  }
  JsonValue reply;
  if (!parseJson(textOf(data, size), reply)) {
    failConnection("malformed handshake JSON");
    return;
  }
  const std::string type = optString(reply, "type").value_or("");
  if (type == "ready") {
    // A channel count the link frames cannot carry would reach the players
    // as another number: the readiness is refused and nothing of it kept.
    const std::optional<double> announced = optNumber(reply, "channels");
    if (announced && *announced >= static_cast<double>(link::kMaxChannels) + 1.0) {
      state = State::Idle;
      emit("ui:status", Atoms{Atom("pod announced " + formatNumber(*announced) + " channels; at most " +
                                   std::to_string(link::kMaxChannels) + " are supported")});
      return;
    }
    applyReadiness(reply);
    state = State::AwaitingSource;
  } else if (type == "init_ack") {
    // Acknowledgement only; "ready" follows.
  } else if (type == "error") {
    failConnection(shownText(optString(reply, "message").value_or("server error during handshake")));
  } else {
    failConnection("Unexpected init message: " + shownText(type));
  }
}

void ServerSession::applyReadiness(const JsonValue& ready) {
  live::ReadinessInfo info;
  info.duration = finiteNumber(ready, "duration");
  info.tempo = finiteNumber(ready, "bpm").value_or(0.0);
  const std::optional<std::string> key = optString(ready, "key");
  info.timeSignature = optString(ready, "time_signature");
  const std::optional<double> announced = optNumber(ready, "channels");
  channels = announced ? truncateToInt32(*announced) : 2;
  if (channels < 1) channels = 2;
  const std::optional<double> epoch = optNumber(ready, "source_epoch");
  sourceEpoch = epoch ? std::max(truncateToInt32(*epoch), 0) : 0;
  const JsonValue* capabilities = find(ready, "capabilities");
  info.loopBand = capabilities && capabilities->isObject() ? optBool(*capabilities, "loop_band") : std::nullopt;
  const JsonValue* manifest = find(ready, "knob_manifest");
  knobManifest = manifest ? *manifest : JsonValue{};
  live_.readiness().apply(std::move(info));

  const live::Readiness& readiness = live_.readiness();
  emit("core:ready_info",
       Atoms{Atom(readiness.sourceDuration()), Atom(readiness.serverTempo()), Atom(key.value_or("?"))});

  const JsonValue* knobs = find(knobManifest, "knobs");
  if (knobs && knobs->isObject() && !knobs->members().empty()) {
    Atoms names;
    names.reserve(knobs->members().size());
    for (const JsonMember& member : knobs->members()) names.emplace_back(std::string(member.key()));
    emit("knobnames", names);
  }
}

void ServerSession::onClose(std::int32_t) {
  if (stopped || !live_.playback().playing()) return;
  // Saturates: after the give-up the count only has to stay above the limit.
  if (reconnectAttempts < std::numeric_limits<std::int32_t>::max()) reconnectAttempts += 1;
  const std::int32_t n = reconnectAttempts;
  if (n > kMaxReconnects) {
    emit("core:reconnect_giveup");
    return;
  }
  // 1000, 2000, 4000, then 8000 ms for every later attempt.
  const double delayMs = std::min(std::ldexp(1000.0, std::min(n - 1, 3)), 10000.0);
  emitStatus("reconnecting");
  emit("ws:reconnect_in", Atoms{Atom(delayMs)});
}

void ServerSession::reconnectTick() {
  resetConnection();
  emit("cloud:resolve");
}

void ServerSession::stop() {
  stopped = true;
  live_.playback().stop();
  emit("ws:close");
  emit("param:stop");
  emitStatus("stopped");
}

void ServerSession::beginSourceUpload() {
  stopped = true;  // closing the current socket must not reconnect
  resetConnection();
  // Nothing of the old session may follow the new handshake: no telemetry,
  // no blend glide, no captured audio with the old source epoch. The new
  // session states what it needs once it is ready.
  live_.readiness().withdraw();
  live_.playback().stop();
  emit("param:stop");
  emitStatus("uploading captured track to pod");
  emit("cloud:resolve");
}

}  // namespace omber::server

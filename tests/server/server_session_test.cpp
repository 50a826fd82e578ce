// A whole session walked through the engine's inlet, as the host drives it:
// start, endpoint, open, handshake, readiness, the first source, slices,
// swaps, reconnects and stop.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/engine_fixture.h"
#include "server/server_messages.h"

namespace omber::server {
using namespace omber::engine;
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::differenceSlice;
using testing::floatAt;
using testing::frameType;
using testing::framePayload;
using testing::halves;
using testing::rawSlice;

constexpr const char* kReady =
    R"({"type":"ready","duration":2,"bpm":120,"key":"A minor","time_signature":"4/4","channels":2,)"
    R"("source_epoch":5,"capabilities":{"loop_band":true},"knob_manifest":{"knobs":{"ch_g0":{},"ch_g1":{}}}})";

class SessionWalk : public testing::EngineTest {
 protected:
  void wsText(std::string_view text) { send("ws:data", Atoms{Atom(bytesOf(text)), Atom(0.0)}); }
  void wsBinary(Bytes bytes) { send("ws:data", Atoms{Atom(std::move(bytes)), Atom(1.0)}); }

  // The printed track the engine uploads on every open: 4 stereo frames.
  void printTrack() {
    const float track[8] = {0.5f, -0.5f, 0.25f, -0.25f, 1, -1, 0, 0};
    startSource(track, 4, 2);
    recorder.clear();
  }

  // Through "start", the endpoint, the handshake and the readiness
  // information to the first source: 10 stereo frames, sample i = i / 8.
  void streamFromTheTop(const char* ready = kReady) {
    printTrack();
    send("start");
    send("cloud:wsurl", "ws://pod.test/");
    send("ws:open");
    wsText(R"({"type":"init_ack"})");
    wsText(ready);
    std::vector<float> source;
    for (int i = 0; i < 20; ++i) source.push_back(static_cast<float>(i) / 8);
    wsBinary(halves(source));
  }

  const std::vector<float>& buffer() const { return engine.source().samples; }
};

TEST_F(SessionWalk, FromStartToTheFirstSource) {
  send("start");
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:status"});
  EXPECT_EQ(recorder.messages[0].text(0), "no source: print the track first");

  printTrack();
  send("start");
  send("cloud:wsurl", "ws://pod.test/");
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ui:status", "cloud:resolve", "ws:connect"}));
  EXPECT_EQ(recorder.messages[0].text(0), "connecting to pod");
  EXPECT_EQ(recorder.messages[2].text(0), "ws://pod.test/");

  recorder.clear();
  send("ws:open");
  EXPECT_EQ(engine.session().state, ServerSession::State::Handshaking);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ws:send", "ws:send"}));
  const std::string config = recorder.messages[0].bytesText(0);
  EXPECT_EQ(config.rfind(R"({"prompt":")", 0), 0u) << config;
  EXPECT_NE(config.find(R"(","depth":4,"steps":8,"sde":false,"lora":true})"), std::string::npos) << config;
  const Bytes& audio = recorder.messages[1].bytes(0);
  ASSERT_EQ(audio.size(), 8u + 8 * 4);
  EXPECT_EQ(link::getU32(audio.data()), 2u);
  EXPECT_EQ(link::getU32(audio.data() + 4), 4u);
  EXPECT_EQ(floatAt(audio, 8 + 4), -0.5f);

  recorder.clear();
  wsText(R"({"type":"init_ack"})");
  EXPECT_TRUE(recorder.messages.empty());
  wsText(kReady);
  EXPECT_EQ(engine.session().state, ServerSession::State::AwaitingSource);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"core:ready_info", "knobnames"}));
  EXPECT_EQ(recorder.messages[0].number(0), 2);
  EXPECT_EQ(recorder.messages[0].number(1), 120);
  EXPECT_EQ(recorder.messages[0].text(2), "A minor");
  ASSERT_EQ(recorder.messages[1].atoms.size(), 2u);
  EXPECT_EQ(recorder.messages[1].text(0), "ch_g0");
  EXPECT_EQ(recorder.messages[1].text(1), "ch_g1");
  EXPECT_TRUE(engine.live().readiness().ready());
  EXPECT_EQ(engine.session().sourceEpoch, 5);
  EXPECT_TRUE(engine.session().knobManifest.isObject());

  recorder.clear();
  wsText(R"({"type":"swap_ready"})");  // text while awaiting the source: ignored
  EXPECT_TRUE(recorder.messages.empty());
  wsBinary(halves({0.5f, -0.5f, 0.25f, 1.0f}));
  EXPECT_EQ(engine.session().state, ServerSession::State::Streaming);
  EXPECT_EQ(buffer(), (std::vector<float>{0.5f, -0.5f, 0.25f, 1.0f}));
  EXPECT_EQ(engine.source().frames, 2);
  EXPECT_EQ(engine.source().epoch, 5);
  EXPECT_EQ(engine.live().playback().generation(), 5);
  EXPECT_TRUE(engine.live().playback().playing());
  const auto sent = recorder.selectors();
  ASSERT_GE(sent.size(), 5u);
  EXPECT_EQ(sent.front(), "ext:write");
  EXPECT_EQ(frameType(recorder.messages[0]), link::FrameType::Init);
  // The new server session is told the blend (no prompt B is set).
  EXPECT_EQ(std::vector<std::string>(sent.end() - 4, sent.end()),
            (std::vector<std::string>{"ui:ready", "param:start", "core:connected", "ws:send"}));
  EXPECT_EQ(recorder.messages.back().bytesText(0), R"({"type":"set_prompt_blend","value":0.4})");
  EXPECT_EQ(recorder.with("ui:ready").size(), 1u);
  EXPECT_EQ(engine.session().bytesReceived, 0u);  // the source is not a slice
}

TEST_F(SessionWalk, RawAndCompressedSlicesAreMergedAndPatched) {
  streamFromTheTop();
  recorder.clear();

  // Kind 0 overwrites 4 samples at frame 0 and patches 2 stereo frames.
  const Bytes raw = rawSlice(0, {1, 2, 3, 4});
  wsBinary(raw);
  EXPECT_EQ(std::vector<float>(buffer().begin(), buffer().begin() + 5), (std::vector<float>{1, 2, 3, 4, 0.5f}));
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ui:status"}));
  const Bytes patch = framePayload(recorder.messages[0]);
  ASSERT_EQ(patch.size(), 4u + 4 * 4);
  EXPECT_EQ(link::getU32(patch.data()), 0u);
  EXPECT_EQ(floatAt(patch, 4 + 12), 4.0f);
  EXPECT_EQ(recorder.messages[1].text(0), "live - inference streaming");

  // Kind 1 adds a zstd-compressed difference; twice adds it twice.
  recorder.clear();
  const Bytes diff = differenceSlice(8, {0.5f, -1, 0.25f, 2});
  wsBinary(diff);
  wsBinary(diff);
  EXPECT_EQ(std::vector<float>(buffer().begin() + 16, buffer().end()),
            (std::vector<float>{16.0f / 8 + 1, 17.0f / 8 - 2, 18.0f / 8 + 0.5f, 19.0f / 8 + 4}));
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ext:write"}));  // announced once
  const Bytes second = framePayload(recorder.messages[1]);
  EXPECT_EQ(link::getU32(second.data()), 8u);
  EXPECT_EQ(floatAt(second, 4), 16.0f / 8 + 1);

  // Too short, and past the end: counted, nothing else.
  recorder.clear();
  const std::vector<float> before = buffer();
  wsBinary(Bytes(22, 0));
  wsBinary(rawSlice(10, {9, 9}));
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(buffer(), before);
  EXPECT_EQ(engine.session().bytesReceived, 2 * raw.size() + 2 * diff.size() - raw.size() + 22 + 27);
}

TEST_F(SessionWalk, ACorruptSliceChangesNothingAndIsReportedOncePerEpisode) {
  streamFromTheTop();
  recorder.clear();
  const std::vector<float> before = buffer();
  Bytes corrupt = differenceSlice(0, {1, 1, 1, 1});
  corrupt[23] ^= 0xff;  // the frame's magic number
  wsBinary(corrupt);
  wsBinary(corrupt);
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:status"});
  EXPECT_EQ(recorder.messages[0].text(0), "corrupt audio slice from pod dropped");
  EXPECT_EQ(buffer(), before);
  EXPECT_EQ(engine.session().state, ServerSession::State::Streaming);
  EXPECT_FALSE(engine.session().streamingAnnounced);
  EXPECT_EQ(engine.session().bytesReceived, 2 * corrupt.size());

  // A good slice ends the episode; the next fault is told again.
  recorder.clear();
  wsBinary(differenceSlice(0, {1, 1, 1, 1}));
  wsBinary(corrupt);
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ui:status", "ui:status"}));
  EXPECT_EQ(recorder.messages[2].text(0), "corrupt audio slice from pod dropped");
  EXPECT_EQ(buffer()[0], before[0] + 1);
}

TEST_F(SessionWalk, ASwapReplacesTheSourceAndStartsANewGeneration) {
  streamFromTheTop();
  recorder.clear();
  wsText(R"({"type":"swap_ready"})");
  EXPECT_TRUE(engine.session().swap.pending);
  wsBinary(halves({1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(engine.session().swap.pending);
  EXPECT_EQ(engine.session().sourceEpoch, 6);
  EXPECT_EQ(engine.source().epoch, 6);
  EXPECT_EQ(engine.source().channels, 2);
  EXPECT_EQ(engine.source().frames, 3);
  EXPECT_EQ(engine.live().playback().generation(), 6);
  EXPECT_EQ(engine.live().playback().totalSamples(), 6);
  // The readiness claimed 2 s; the 10 frames that arrived count, and are kept.
  EXPECT_DOUBLE_EQ(engine.live().readiness().sourceDuration(), 10.0 / 48000);
  EXPECT_EQ(engine.live().playback().swapCount(), 1);
  const auto sent = recorder.selectors();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(frameType(recorder.messages[0]), link::FrameType::Swap);
  EXPECT_EQ(sent.back(), "ui:swap");

  // Slices of the new generation merge and patch.
  recorder.clear();
  wsBinary(rawSlice(2, {7, 8}));
  EXPECT_EQ(buffer(), (std::vector<float>{1, 2, 3, 4, 7, 8}));
  EXPECT_EQ(recorder.selectors().front(), "ext:write");

  // A swap that names its channels, epoch and duration.
  wsText(R"({"type":"swap_ready","duration":3.5,"channels":1,"source_epoch":12})");
  wsBinary(halves({1, 2, 3}));
  EXPECT_EQ(engine.source().channels, 1);
  EXPECT_EQ(engine.source().frames, 3);
  EXPECT_EQ(engine.session().sourceEpoch, 12);
  EXPECT_EQ(engine.live().readiness().sourceDuration(), 3.5);

  // A negative epoch counts up from the current one; a swap without samples
  // still replaces the buffer.
  wsText(R"({"type":"swap_ready","source_epoch":-4,"channels":0})");
  wsBinary(Bytes{7});
  EXPECT_EQ(engine.session().sourceEpoch, 13);
  EXPECT_EQ(engine.source().channels, 1);
  EXPECT_EQ(engine.source().frames, 0);
  EXPECT_TRUE(buffer().empty());
}

TEST_F(SessionWalk, ServerEventsAreShownAndUnknownOnesIgnored) {
  streamFromTheTop();
  recorder.clear();
  wsText(R"({"type":"command_failed","command":"prompt"})");
  wsText(R"({"type":"command_failed","command":3})");
  wsText(R"({"type":"audio_write_failed","error":"stale epoch"})");
  wsText(R"({"type":"audio_write_failed"})");
  wsText(R"({"type":"later"})");
  wsText(R"({"type":)");
  wsText("[]");
  ASSERT_EQ(recorder.with("ui:status").size(), 4u);
  EXPECT_EQ(recorder.messages[0].text(0), "command failed: prompt");
  EXPECT_EQ(recorder.messages[1].text(0), "command failed: ?");
  EXPECT_EQ(recorder.messages[2].text(0), "write_audio failed: stale epoch");
  EXPECT_EQ(recorder.messages[3].text(0), "write_audio failed: ?");
  EXPECT_EQ(recorder.messages.size(), 4u);
}

// Server text is shown cut to 200 characters; a text over 1 MiB is not
// parsed at all, and the performer is told.
TEST_F(SessionWalk, LongServerTextsAreCutAndOversizedOnesRefused) {
  streamFromTheTop();
  recorder.clear();
  const std::string longName(5000, 'x');
  wsText(R"({"type":"command_failed","command":")" + longName + "\"}");
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "\u00e9";  // two UTF-8 bytes each
  wsText(R"({"type":"audio_write_failed","error":")" + accents + "\"}");
  ASSERT_EQ(recorder.with("ui:status").size(), 2u);
  EXPECT_EQ(recorder.messages[0].text(0), "command failed: " + std::string(200, 'x') + "\u2026");
  std::string cut;
  for (int i = 0; i < 200; ++i) cut += "\xc3\xa9";
  EXPECT_EQ(recorder.messages[1].text(0), "write_audio failed: " + cut + "\u2026");

  recorder.clear();
  std::string huge = R"({"type":"command_failed","command":")" + std::string(1 << 20, 'y') + "\"}";
  wsText(huge);
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:status"});
  EXPECT_EQ(recorder.messages[0].text(0),
            "pod message of " + std::to_string(huge.size()) + " bytes ignored: over the 1 MiB limit");

  // During the handshake the oversized reply fails the connection attempt.
  printTrack();
  send("ws:open");
  recorder.clear();
  wsText(R"({"type":"error","message":")" + std::string(1 << 20, 'z') + "\"}");
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ui:status", "core:connect_failed"}));
  EXPECT_EQ(recorder.messages[1].text(0), "handshake reply too large");
  wsText(R"({"type":"error","message":")" + std::string(300, 'm') + "\"}");
  EXPECT_EQ(recorder.messages.back().text(0), std::string(200, 'm') + "\u2026");
}

TEST_F(SessionWalk, HandshakeFailuresGiveTheirReasonsAndKeepTheState) {
  printTrack();
  send("ws:open");
  recorder.clear();
  wsBinary(Bytes{1, 2});
  wsText("{");
  wsText("[1]");
  wsText(R"({"type":"error"})");
  wsText(R"({"type":"error","message":5})");
  wsText(R"({"type":"error","message":"no GPU"})");
  wsText(R"({"type":"hello"})");
  std::vector<std::string> reasons;
  for (const auto& m : recorder.with("core:connect_failed")) reasons.push_back(m.text(0));
  EXPECT_EQ(reasons,
            (std::vector<std::string>{"Unexpected binary during handshake", "malformed handshake JSON",
                                      "Unexpected init message: ", "server error during handshake",
                                      "server error during handshake", "no GPU", "Unexpected init message: hello"}));
  EXPECT_EQ(recorder.messages.size(), reasons.size());
  EXPECT_EQ(engine.session().state, ServerSession::State::Handshaking);
}

TEST_F(SessionWalk, ReadinessDefaultsAndKnobManifests) {
  engine.live().readiness().setSourceDuration(9);
  send("ws:open");
  recorder.clear();
  wsText(R"({"type":"ready","channels":0.5,"source_epoch":7.9,"bpm":"fast","capabilities":{},)"
         R"("knob_manifest":{"knobs":{}}})");
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"core:ready_info"});
  EXPECT_EQ(recorder.messages[0].number(0), 9);  // no duration: the earlier one
  EXPECT_EQ(recorder.messages[0].number(1), 0);
  EXPECT_EQ(recorder.messages[0].text(2), "?");
  EXPECT_EQ(engine.session().channels, 2);
  EXPECT_EQ(engine.session().sourceEpoch, 7);
  EXPECT_FALSE(engine.live().readiness().loopBandCapability().has_value());

  send("ws:open");
  wsText(R"({"type":"ready","duration":1e999,"source_epoch":-3,"time_signature":"7/8",)"
         R"("capabilities":{"loop_band":false}})");
  EXPECT_EQ(engine.live().readiness().sourceDuration(), 9);  // an infinity counts as absent
  EXPECT_EQ(engine.session().sourceEpoch, 0);
  EXPECT_EQ(engine.live().readiness().timeSignature(), "7/8");
  EXPECT_EQ(engine.live().readiness().loopBandCapability(), std::optional<bool>(false));
  EXPECT_TRUE(engine.session().knobManifest.isNull());
}

TEST_F(SessionWalk, ClosesWhilePlayingReconnectOnABoundedSchedule) {
  send("ws:close", 1006);  // never played: nothing
  EXPECT_TRUE(recorder.messages.empty());
  streamFromTheTop();
  recorder.clear();

  std::vector<double> delays;
  for (int close = 1; close <= 30; ++close) {
    send("ws:close", 1006);
    const auto& m = recorder.messages;
    ASSERT_EQ(m.size(), 2u) << close;
    EXPECT_EQ(m[0].selector, "ui:status");
    EXPECT_EQ(m[0].text(0), "reconnecting");
    EXPECT_EQ(m[1].selector, "ws:reconnect_in");
    delays.push_back(m[1].number(0));
    recorder.clear();
  }
  EXPECT_EQ(std::vector<double>(delays.begin(), delays.begin() + 6),
            (std::vector<double>{1000, 2000, 4000, 8000, 8000, 8000}));
  EXPECT_EQ(delays.back(), 8000);
  send("ws:close", 1006);
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"core:reconnect_giveup"});
  EXPECT_TRUE(recorder.messages[0].atoms.empty());

  // The reconnect tick starts over; a successful open resets the count.
  recorder.clear();
  send("tick:reconnect");
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"cloud:resolve"});
  EXPECT_EQ(engine.session().state, ServerSession::State::Idle);
  EXPECT_EQ(engine.session().bytesReceived, 0u);
  wsBinary(rawSlice(0, {3, 3}));  // Idle: ignored
  EXPECT_EQ(engine.session().bytesReceived, 0u);
  send("ws:open");
  recorder.clear();
  send("ws:close", 1006);
  EXPECT_EQ(recorder.with("ws:reconnect_in").at(0).number(0), 1000);
}

// A new stream runs on a server session that heard only tag text A in the
// handshake: prompt B and the blend are stated again at its first source,
// after a reconnect too, and the glide goes on from there.
TEST_F(SessionWalk, ANewStreamRestatesPromptBAndTheBlend) {
  send("prompt", "deep house");
  send("prompt_b", "dub");
  send("blend", 0.8);
  EXPECT_TRUE(recorder.with("ws:send").empty());  // not ready: nothing sent

  auto restated = [this] {
    std::vector<std::string> texts;
    bool afterConnected = false;
    for (const auto& m : recorder.messages) {
      if (m.selector == "core:connected")
        afterConnected = true;
      else if (afterConnected && m.selector == "ws:send")
        texts.push_back(m.bytesText(0));
    }
    return texts;
  };
  streamFromTheTop();
  EXPECT_EQ(restated(), (std::vector<std::string>{R"({"type":"prompt","tags":"deep house","tags_b":"dub"})",
                                                  R"({"type":"set_prompt_blend","value":0.8})"}));
  recorder.clear();
  send("tick:param");  // the glide is at its target: only telemetry
  ASSERT_EQ(recorder.with("ws:send").size(), 1u);
  EXPECT_EQ(recorder.with("ws:send")[0].bytesText(0).rfind(R"({"type":"params")", 0), 0u);

  // Lost and found again: the same restatement on the new session.
  send("ws:close", 1006);
  send("tick:reconnect");
  send("cloud:wsurl", "ws://pod.test/");
  send("ws:open");
  wsText(kReady);
  recorder.clear();
  wsBinary(halves({0.5f, -0.5f, 0.25f, 1.0f}));
  EXPECT_EQ(restated(), (std::vector<std::string>{R"({"type":"prompt","tags":"deep house","tags_b":"dub"})",
                                                  R"({"type":"set_prompt_blend","value":0.8})"}));

  // A blend change glides from the stated value.
  send("blend", 1.0);
  recorder.clear();
  send("tick:param");
  ASSERT_FALSE(recorder.with("ws:send").empty());
  EXPECT_EQ(recorder.with("ws:send")[0].bytesText(0), R"({"type":"set_prompt_blend","value":0.8140000000000001})");
}

TEST_F(SessionWalk, StopClosesAndTheCloseThatFollowsDoesNotReconnect) {
  streamFromTheTop();
  recorder.clear();
  send("stop");
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ws:close", "param:stop", "ui:status"}));
  EXPECT_EQ(recorder.messages[2].text(0), "stopped");
  EXPECT_FALSE(engine.live().playback().playing());
  recorder.clear();
  send("ws:close", 1000);
  send("tick:param");  // no telemetry, no peaks
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(SessionWalk, TelemetryGoesOutOnEveryTickWhileReadyAndPlaying) {
  readyAndPlaying();
  engine.live().readiness().withdraw();
  send("tick:param");
  EXPECT_TRUE(recorder.with("ws:send").empty());

  streamFromTheTop();
  wsBinary(rawSlice(0, {1, 1}));
  recorder.clear();
  send("tick:param");
  send("tick:param");
  const auto sends = recorder.with("ws:send");
  ASSERT_EQ(sends.size(), 2u);
  JsonValue first, second;
  ASSERT_TRUE(parseJson(sends[0].bytesText(0), first));
  ASSERT_TRUE(parseJson(sends[1].bytesText(0), second));
  EXPECT_EQ(optString(first, "type"), "params");
  EXPECT_EQ(sends[0].bytesText(0).rfind(R"({"type":"params","raw":{)", 0), 0u);
  EXPECT_EQ(optNumber(first, "playback_pos"), engine.live().playback().reportedPlayHead());
  EXPECT_EQ(optNumber(first, "slice_bytes_rx"), 27.0);
  EXPECT_LE(*optNumber(first, "client_time"), *optNumber(second, "client_time"));
}

}  // namespace
}  // namespace omber::server

// The handlers of the inlet table: setters, session events, Live transport
// and the rules for not-a-number and infinite arguments.
#include <gtest/gtest.h>

#include <limits>

#include "engine/engine_fixture.h"
#include "link/frame.h"

namespace omber::engine {
using namespace omber::base;
using namespace omber::live;
using namespace omber::server;
using namespace omber::documents;
namespace {

using testing::EngineTest;
using testing::frameType;
using testing::framePayload;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(EngineTest, BarsAndQuantRoundAndClamp) {
  send("bars", 0);
  EXPECT_EQ(engine.live().grid().loopLength(), 1);
  send("bars", 2.5);
  EXPECT_EQ(engine.live().grid().loopLength(), 3);
  send("bars", -4);
  EXPECT_EQ(engine.live().grid().loopLength(), 1);
  send("quant", 2.6);
  EXPECT_EQ(engine.live().grid().quantisation(), 3.0);
  send("quant", -1);
  EXPECT_EQ(engine.live().grid().quantisation(), 0.0);
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(EngineTest, SectionsAreWholeLoopLengths) {
  send("bars", 8);
  send("section", -1);
  EXPECT_EQ(engine.live().grid().loopStartBar(), -1);
  EXPECT_EQ(engine.live().grid().loopLength(), 8);
  send("section", 2);
  EXPECT_EQ(engine.live().grid().loopStartBar(), 16);
  EXPECT_EQ(engine.live().grid().loopLength(), 8);
  send("loop_start", 3.5);
  EXPECT_EQ(engine.live().grid().loopStartBar(), 4);
  send("loop_len", 0);
  EXPECT_EQ(engine.live().grid().loopLength(), 1);
  EXPECT_EQ(engine.live().grid().loopStartBar(), 4);
  send("loop_start", -7);
  EXPECT_EQ(engine.live().grid().loopStartBar(), -1);
  // Without a ready session and a loaded buffer nothing is sent.
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(EngineTest, BlendIsClampedAndNotANumberMeansOne) {
  send("blend", 1.7);
  EXPECT_EQ(engine.settings().blendTarget, 1.0);
  send("blend", -0.2);
  EXPECT_EQ(engine.settings().blendTarget, 0.0);
  send("blend", kNaN);
  EXPECT_EQ(engine.settings().blendTarget, 1.0);
  send("blend", Atoms{Atom("0.25")});
  EXPECT_EQ(engine.settings().blendTarget, 0.25);
}

TEST_F(EngineTest, GenerationSettings) {
  send("depth", 4.6);
  send("steps", -2.5);  // halves round away from zero, no clamping
  send("sde", kNaN);
  EXPECT_EQ(engine.settings().depth, 5.0);
  EXPECT_EQ(engine.settings().steps, -3.0);
  EXPECT_TRUE(engine.settings().sde);
  send("sde", 0);
  EXPECT_FALSE(engine.settings().sde);
  send("sa3_duration", -3);
  EXPECT_EQ(engine.settings().fixedRenderDuration, 0.0);
  send("tempo", 121.5);
  EXPECT_EQ(engine.live().grid().liveTempo(), 121.5);
  send("tempo", 0);
  EXPECT_EQ(engine.live().grid().liveTempo(), 121.5);
  send("tempo", 999);
  EXPECT_EQ(engine.live().grid().liveTempo(), 999);
  send("tempo", 1e9);  // microsecond bars would flood the server with writes
  EXPECT_EQ(engine.live().grid().liveTempo(), 999);
  send("feed_mix", "add");
  EXPECT_EQ(engine.live().feed().mix().text(), "add");
  // A word the device does not know goes to the server as it came; none at
  // all sends no "mix".
  send("feed_mix", "crossfade");
  EXPECT_EQ(engine.live().feed().mix().kind(), FeedMix::Kind::Other);
  EXPECT_EQ(engine.live().feed().mix().text(), "crossfade");
  send("feed_mix");
  EXPECT_EQ(engine.live().feed().mix().text(), "");
}

// Stored numbers end up in JSON documents, files and link frames, where
// "inf" and "nan" do not belong: setters keep the state they had.
TEST_F(EngineTest, NonFiniteNumbersNeverReachStoredState) {
  send("depth", 6);
  send("steps", 12);
  send("tempo", 128);
  send("bars", 8);
  send("loop_start", 2);
  send("quant", 2);
  send("sa3_duration", 3);
  for (const double bad : {kInf, -kInf, kNaN}) {
    for (const char* selector :
         {"depth", "steps", "tempo", "seek", "loop_start", "loop_len", "section", "bars", "quant", "projroot"}) {
      send(selector, bad);
    }
  }
  send("sa3_duration", kInf);
  const EngineSettings& s = engine.settings();
  EXPECT_EQ(s.depth, 6.0);
  EXPECT_EQ(s.steps, 12.0);
  EXPECT_EQ(s.fixedRenderDuration, 3.0);
  EXPECT_FALSE(s.projectRoot);
  EXPECT_EQ(engine.live().grid().liveTempo(), 128.0);
  EXPECT_EQ(engine.live().grid().loopLength(), 8);
  EXPECT_EQ(engine.live().grid().loopStartBar(), 2);
  EXPECT_EQ(engine.live().grid().quantisation(), 2.0);
  EXPECT_TRUE(recorder.messages.empty());  // no Seek frame with a non-finite position

  // The explicit rules stand: not-a-number duration is 0, -inf clamps to 0.
  send("sa3_duration", kNaN);
  EXPECT_EQ(s.fixedRenderDuration, 0.0);
  send("sa3_duration", 3);
  send("sa3_duration", -kInf);
  EXPECT_EQ(s.fixedRenderDuration, 0.0);

  // Nothing non-finite goes to the server while ready either.
  readyAndPlaying();
  send("lora", Atoms{Atom("x"), Atom(kInf)});
  send("timbre_strength", kNaN);
  EXPECT_TRUE(recorder.with("ws:send").empty());
}

TEST_F(EngineTest, SeekAndLoopWriteFramesToThePlayers) {
  send("seek", 1.5);
  send("loop", kNaN);
  send("loop", 0);
  send("loop", Atoms{});
  const auto writes = recorder.with("ext:write");
  ASSERT_EQ(writes.size(), 4u);
  EXPECT_EQ(writes[0].text(0), "players");
  EXPECT_EQ(frameType(writes[0]), link::FrameType::Seek);
  EXPECT_EQ(link::getF64(framePayload(writes[0]).data()), 1.5);
  EXPECT_EQ(writes[1].bytes(1), link::encodeFlag(link::FrameType::Loop, true));
  EXPECT_EQ(framePayload(writes[1]), std::vector<std::uint8_t>{1});
  EXPECT_EQ(framePayload(writes[2]), std::vector<std::uint8_t>{0});
  EXPECT_EQ(framePayload(writes[3]), std::vector<std::uint8_t>{0});
}

TEST_F(EngineTest, TransportRunsOrHoldsThePlayersOnChangeOnly) {
  send("transport", 1);  // already running
  EXPECT_TRUE(recorder.messages.empty());
  send("transport", 0);
  send("transport", 0);
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(frameType(recorder.messages[0]), link::FrameType::Run);
  EXPECT_EQ(framePayload(recorder.messages[0]), std::vector<std::uint8_t>{0});
  EXPECT_FALSE(engine.live().playback().transportRunning());
}

TEST_F(EngineTest, TransportStartWhilePlayingRestartsAtTheLoopRegion) {
  readyAndPlaying();
  LiveAudioPath& live = engine.live();
  live.readiness().setSourceDuration(16);
  live.grid().setGridTempo(120);
  for (int bar = 0; bar < 9; ++bar) send("bar");
  send("transport", 0);
  send("quant", 0);  // loop changes apply at once rather than at the next bar
  send("bars", 2);
  send("loop_start", 1);  // nothing loaded into the players, so nothing is sent
  recorder.clear();
  send("transport", 1);
  ASSERT_EQ(recorder.messages.size(), 2u);
  EXPECT_EQ(frameType(recorder.messages[0]), link::FrameType::Run);
  EXPECT_EQ(frameType(recorder.messages[1]), link::FrameType::Seek);
  EXPECT_EQ(link::getF64(framePayload(recorder.messages[1]).data()), 2.0);
  EXPECT_EQ(live.playback().reportedPlayHead(), 2.0);
  EXPECT_TRUE(live.grid().resume().valid);
  EXPECT_EQ(live.grid().resume().bar, 9);
  EXPECT_EQ(live.grid().resume().position, 2.0);
}

TEST_F(EngineTest, ExtDataNeedsABytesSecondAtom) {
  send("ext:data", 5);
  send("ext:data", Atoms{Atom(5.0), Atom("bytes")});
  EXPECT_TRUE(engine.endpoints().endpoints().empty());
  send("ext:data", Atoms{Atom(5.0), Atom(std::vector<std::uint8_t>{1, 0})});  // an incomplete length
  ASSERT_EQ(engine.endpoints().endpoints().count(5), 1u);
  EXPECT_EQ(engine.endpoints().endpoints().at(5)->role, 0);
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(EngineTest, EndpointsComeAndGo) {
  send("ext:conn", Atoms{});
  send("ext:conn", Atoms{Atom("7")});
  EXPECT_EQ(engine.endpoints().endpoints().size(), 2u);
  send("ext:close", 99);
  send("ext:close", 0);
  ASSERT_EQ(engine.endpoints().endpoints().size(), 1u);
  EXPECT_EQ(engine.endpoints().endpoints().count(7), 1u);

  // A length of 0 gives the connection up; new data starts a fresh endpoint.
  send("ext:data", Atoms{Atom(7.0), Atom(std::vector<std::uint8_t>{0, 0, 0, 0, 1})});
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ext:drop"});
  EXPECT_EQ(recorder.messages[0].number(0), 7);
  EXPECT_TRUE(engine.endpoints().endpoints().empty());
  const std::vector<std::uint8_t> frame = link::encodeFlag(link::FrameType::Loop, true);
  send("ext:data", Atoms{Atom(7.0), Atom(frame)});
  EXPECT_EQ(engine.endpoints().endpoints().count(7), 1u);
  EXPECT_EQ(recorder.messages.size(), 1u);
}

TEST_F(EngineTest, BackendDefaultsToAcestep) {
  send("backend", "sa3");
  send("backend", Atoms{});
  EXPECT_EQ(engine.settings().backend, "acestep");
  EXPECT_EQ(engine.live().grid().backendName(), "acestep");
}

TEST_F(EngineTest, LivePathKeepsTheFolderOfTheSetFile) {
  send("live_path", Atoms{Atom("/Users/me/My"), Atom("Set"), Atom("Project/My"), Atom("Set.als")});
  EXPECT_EQ(engine.settings().liveSetFolder, "/Users/me/My Set Project");
  send("live_path", Atoms{Atom("C:\\Music\\Gig Project\\Gig.als")});
  EXPECT_EQ(engine.settings().liveSetFolder, "C:\\Music\\Gig Project");
  send("live_path", "Gig.als");
  EXPECT_EQ(engine.settings().liveSetFolder, "");
  send("live_path", "/a/b.als");
  send("live_path", Atoms{});
  EXPECT_EQ(engine.settings().liveSetFolder, "");
}

TEST_F(EngineTest, PromptsTakeTheJoinedWordsAfterAnOptionalTextWord) {
  send("prompt", Atoms{Atom("text"), Atom("dark"), Atom(120.0)});
  EXPECT_EQ(engine.settings().promptA, "dark 120");
  send("prompt", Atoms{Atom("dark"), Atom(120.0)});
  EXPECT_EQ(engine.settings().promptA, "dark 120");
  send("prompt_b", Atoms{Atom("text")});
  EXPECT_FALSE(engine.settings().promptB);
  send("prompt_ab", Atoms{Atom(" deep house "), Atom("|"), Atom("ambient  ")});
  EXPECT_EQ(engine.settings().promptA, "deep house");
  EXPECT_EQ(engine.settings().promptB, "ambient");
  send("prompt_ab", Atoms{Atom("techno |  ")});
  EXPECT_EQ(engine.settings().promptA, "techno");
  EXPECT_EQ(engine.settings().promptB, "ambient");
  EXPECT_EQ(engine.sessionConfig().prompt, "techno");
}

TEST_F(EngineTest, KeyAndProjectKey) {
  send("key", 3);
  EXPECT_EQ(engine.settings().keyIndex, 3);
  EXPECT_EQ(engine.settings().keyName, "C# major");
  send("key", 24.4);
  EXPECT_EQ(engine.settings().keyName, "B minor");
  send("key", 25);
  EXPECT_EQ(engine.settings().keyName, "");
  send("projroot", 14);
  EXPECT_EQ(engine.settings().projectKey, "D");
  send("projscale", "  Minor \t");
  EXPECT_EQ(engine.settings().projectScale, "Minor");
  EXPECT_EQ(engine.settings().projectKey, "D minor");
  send("projroot", -1);
  EXPECT_EQ(engine.settings().projectKey, "");
}

TEST_F(EngineTest, StartNeedsAPrintedSource) {
  send("start", Atoms{Atom("warm"), Atom("pads")});
  EXPECT_EQ(engine.settings().promptA, "warm pads");
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:status"});
  EXPECT_EQ(recorder.messages[0].text(0), "no source: print the track first");

  startSource(nullptr, 10, 2);
  readyAndPlaying();
  send("tick:param");  // starts the blend smoothing
  EXPECT_TRUE(engine.settings().blendSmoothingStarted);
  recorder.clear();
  send("start");
  EXPECT_EQ(engine.settings().promptA, "warm pads");  // no atoms: kept
  EXPECT_FALSE(engine.settings().blendSmoothingStarted);
  EXPECT_FALSE(engine.session().stopped);
  EXPECT_EQ(engine.session().state, ServerSession::State::Idle);
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ui:status", "cloud:resolve"}));
  EXPECT_EQ(recorder.messages[0].text(0), "connecting to pod");
  EXPECT_TRUE(recorder.messages[1].atoms.empty());
}

TEST_F(EngineTest, CloudAnswersAndTheReconnectTick) {
  send("cloud:wsurl", "wss://pod.example/ws");
  send("cloud:error", "no pod");
  readyAndPlaying();
  send("tick:param");  // sends the telemetry
  send("tick:reconnect");
  EXPECT_FALSE(engine.settings().blendSmoothingStarted);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ws:connect", "ui:status", "ws:send", "cloud:resolve"}));
  EXPECT_EQ(recorder.messages[0].text(0), "wss://pod.example/ws");
  EXPECT_EQ(recorder.messages[1].text(0), "cloud: no pod");
  EXPECT_EQ(engine.session().bytesReceived, 0u);
}

TEST_F(EngineTest, StopClosesWithoutReconnecting) {
  readyAndPlaying();
  send("stop");
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ws:close", "param:stop", "ui:status"}));
  EXPECT_EQ(recorder.messages[2].text(0), "stopped");
  EXPECT_TRUE(engine.session().stopped);
  EXPECT_FALSE(engine.live().playback().playing());
}

TEST_F(EngineTest, TheBlendGlidesTowardItsTarget) {
  // The blend commands among the tick's messages (the telemetry goes too).
  const auto blends = [&] {
    std::vector<std::string> out;
    for (const auto& m : recorder.with("ws:send"))
      if (m.bytesText(0).rfind(R"({"type":"set_prompt_blend")", 0) == 0) out.push_back(m.bytesText(0));
    return out;
  };
  send("tick:param");  // neither ready nor playing: nothing
  EXPECT_FALSE(engine.settings().blendSmoothingStarted);
  EXPECT_TRUE(recorder.messages.empty());
  readyAndPlaying();
  send("tick:param");  // smoothing starts at the target, no blend sent
  EXPECT_TRUE(blends().empty());
  send("blend", 1.0);
  send("tick:param");
  ASSERT_EQ(blends().size(), 1u);
  EXPECT_EQ(blends()[0], R"({"type":"set_prompt_blend","value":0.442})");

  int ticks = 0;
  while (engine.settings().blendCurrent != 1.0 && ticks < 1000) {
    send("tick:param");
    ++ticks;
  }
  ASSERT_LT(ticks, 1000);
  EXPECT_EQ(blends().back(), R"({"type":"set_prompt_blend","value":1})");
  const std::size_t sent = blends().size();
  EXPECT_EQ(sent, static_cast<std::size_t>(ticks) + 1);
  send("tick:param");
  send("tick:param");
  EXPECT_EQ(blends().size(), sent);
}

TEST_F(EngineTest, ThePeaksCountdownRunsOnlyWhilePlaying) {
  playing();
  send("tick:param");
  EXPECT_EQ(engine.settings().peaksCountdown, 124);
  send("tick:param");
  EXPECT_EQ(engine.settings().peaksCountdown, 123);
  send("stop");
  send("tick:param");
  EXPECT_EQ(engine.settings().peaksCountdown, 0);
}

TEST_F(EngineTest, SourcesAreStoredAndSentOnlyWhenReady) {
  send("timbre", "warm");
  EXPECT_EQ(engine.settings().timbreFixture, "warm");
  EXPECT_EQ(engine.live().timbre.name, "warm");
  send("structure", "verse");
  send("swap", "other");
  send("lora", Atoms{Atom("l1"), Atom(0.5)});
  send("lora_off", "l1");
  send("timbre_strength", 0.3);
  EXPECT_TRUE(recorder.messages.empty());

  engine.live().readiness().apply({});
  send("timbre", "");
  EXPECT_FALSE(engine.settings().timbreFixture);
  EXPECT_EQ(engine.live().timbre.name, "");
  send("timbre", "bright");
  send("structure_clear");
  EXPECT_FALSE(engine.settings().structureFixture);
  send("timbre_clear");
  send("swap", "other");
  send("lora", Atoms{Atom("l1"), Atom(0.5)});
  send("lora_off", "l1");
  send("timbre_strength", 0.3);
  std::vector<std::string> texts;
  for (const auto& m : recorder.with("ws:send")) texts.push_back(m.bytesText(0));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       R"({"type":"set_timbre_fixture","name":"bright"})",
                       R"({"type":"clear_structure_source"})",
                       R"({"type":"clear_timbre_source"})",
                       R"({"type":"swap_source","use_server_source":true,"fixture_name":"other"})",
                       R"({"type":"enable_lora","id":"l1","strength":0.5})",
                       R"({"type":"disable_lora","id":"l1"})",
                       R"({"type":"set_timbre_strength","value":0.3})",
                   }));
}

TEST_F(EngineTest, FeedModeSwitchesTheFeedersCapture) {
  send("feed", "stream");
  send("feed", "off");
  send("feed", "anything");
  const auto writes = recorder.with("ext:write");
  ASSERT_EQ(writes.size(), 3u);
  for (const auto& w : writes) EXPECT_EQ(w.text(0), "feeders");
  EXPECT_EQ(framePayload(writes[0]), std::vector<std::uint8_t>{1});
  EXPECT_EQ(framePayload(writes[1]), std::vector<std::uint8_t>{0});
  EXPECT_EQ(framePayload(writes[2]), std::vector<std::uint8_t>{1});
  EXPECT_EQ(engine.live().feed().mode(), FeedMode::Other);
}

}  // namespace
}  // namespace omber::engine

#include "core/engine/engine.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "core/server/commands.h"
#include "engine/engine_fixture.h"

namespace omber::engine {
using namespace omber::base;
using namespace omber::live;
using namespace omber::server;
using namespace omber::documents;
namespace {

using testing::EngineTest;

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST_F(EngineTest, AFreshEngineHasItsDefaultsAndSaysNothing) {
  EXPECT_TRUE(recorder.messages.empty());

  const SessionConfig config = engine.sessionConfig();
  EXPECT_EQ(config.depth, 4.0);
  EXPECT_EQ(config.steps, 8.0);
  EXPECT_FALSE(config.sde);
  EXPECT_TRUE(config.lora);
  EXPECT_FALSE(config.duration);
  EXPECT_FALSE(config.bpm);
  EXPECT_FALSE(config.fixedDurationBackend);

  const LiveAudioPath& live = engine.live();
  EXPECT_EQ(live.transport, &engine.transport());
  EXPECT_FALSE(live.readiness().ready());
  EXPECT_FALSE(live.playback().playing());
  EXPECT_TRUE(live.playback().transportRunning());
  EXPECT_FALSE(live.grid().resume().valid);
  EXPECT_EQ(live.readiness().timeSignature(), "4/4");
  EXPECT_EQ(live.grid().loopLength(), 4);
  EXPECT_EQ(live.grid().loopStartBar(), -1);
  EXPECT_EQ(live.grid().quantisation(), 1.0);
  EXPECT_EQ(live.feed().mode(), FeedMode::Off);
  EXPECT_EQ(live.feed().mix().text(), "replace");
  EXPECT_EQ(live.grid().backendName(), "acestep");
  EXPECT_EQ(live.grid().lastTempoWarningBar(), -99);
  EXPECT_EQ(live.timbre.channels, 2);
  EXPECT_EQ(live.structure.channels, 2);
  for (const SessionLora& lora : live.sessionLoras) {
    EXPECT_FALSE(lora.id);
    EXPECT_EQ(lora.strength, 1.0);
  }

  const EngineSettings& s = engine.settings();
  EXPECT_EQ(s.backend, "acestep");
  EXPECT_EQ(s.blendTarget, 0.4);
  EXPECT_EQ(s.blendCurrent, 0.4);
  EXPECT_EQ(s.fixedRenderDuration, 0.0);
  EXPECT_TRUE(s.startSamples.empty());
  EXPECT_EQ(s.startChannels, 2);
  EXPECT_TRUE(s.knobs.empty());
  EXPECT_TRUE(s.macros.empty());
  EXPECT_TRUE(s.loraCatalog.empty());
  for (const LoraSlot& slot : s.loraSlots) {
    EXPECT_TRUE(slot.id.empty());
    EXPECT_EQ(slot.strength, 1.0);
  }
  EXPECT_FALSE(s.promptB || s.timbreFixture || s.structureFixture || s.projectRoot);
  EXPECT_EQ(s.serverBuffered, 0);

  EXPECT_EQ(engine.source().channels, 2);
  EXPECT_EQ(engine.source().frames, 0);
  EXPECT_EQ(engine.session().state, ServerSession::State::Idle);
  EXPECT_EQ(engine.session().channels, 2);
}

TEST_F(EngineTest, TheSendGateAllowsAtMostOneMebibyteWaiting) {
  EXPECT_TRUE(engine.mayWrite(1048576));
  EXPECT_FALSE(engine.mayWrite(1048577));
  send("ws:buffered", 1048576);
  EXPECT_TRUE(engine.mayWrite(0));
  EXPECT_FALSE(engine.mayWrite(1));
  send("ws:buffered", 1048000.9);  // truncated toward zero
  EXPECT_EQ(engine.settings().serverBuffered, 1048000);

  // A droppable write of 1000 bytes in total is skipped, a plain one is sent.
  WriteAudioRequest request;
  request.mix = "replace";
  const std::size_t text = commands::writeAudio(request).size();
  const std::uint64_t frames = (1000 - 8 - text) / 8;  // about 1000 bytes with the audio header
  EXPECT_FALSE(engine.transport().sendWriteAudio(nullptr, frames, 2, request, true));
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_TRUE(engine.transport().sendWriteAudio(nullptr, frames, 2, request, std::nullopt));
  EXPECT_EQ(recorder.with("ws:send").size(), 2u);
}

TEST_F(EngineTest, TheSendGateDoesNotOverflowOnExtremeAmounts) {
  send("ws:buffered", kInf);  // saturates at the largest 64-bit amount
  EXPECT_FALSE(engine.mayWrite(1));
  EXPECT_FALSE(engine.mayWrite(std::numeric_limits<std::int64_t>::max()));
  send("ws:buffered", -kInf);
  EXPECT_TRUE(engine.mayWrite(std::numeric_limits<std::int64_t>::max()));
  EXPECT_TRUE(engine.mayWrite(std::numeric_limits<std::int64_t>::min()));
}

TEST_F(EngineTest, ANewSourceIsKeptByTheEngineAndStartsTheUpload) {
  startSource(nullptr, 100, 2);
  EXPECT_TRUE(recorder.with("core:start_from_pcm").empty());
  EXPECT_EQ(engine.settings().startSamples, std::vector<float>(200, 0.0f));
  EXPECT_EQ(engine.settings().startChannels, 2);
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"param:stop", "ui:status", "cloud:resolve"}));
  EXPECT_EQ(recorder.messages[1].text(0), "uploading captured track to pod");
  EXPECT_TRUE(engine.session().stopped);

  const float mono[3] = {0.25f, -1, 2};
  startSource(mono, 3, 1);
  EXPECT_EQ(engine.settings().startSamples, std::vector<float>(mono, mono + 3));
  EXPECT_EQ(engine.settings().startChannels, 1);

  // No samples: the buffer empties and no upload starts.
  recorder.clear();
  startSource(nullptr, 0, 2);
  EXPECT_TRUE(engine.settings().startSamples.empty());
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(EngineTest, AHandedOverSourceIsTakenWithoutACopy) {
  std::vector<float> samples(4800 * 2, 0.5f);
  const float* const data = samples.data();
  engine.takeNewSource(NewSource{std::move(samples), 2, 120.0});
  EXPECT_EQ(engine.settings().startSamples.data(), data);
  EXPECT_EQ(engine.settings().startSamples.size(), 9600u);
  EXPECT_TRUE(recorder.with("core:start_from_pcm").empty());
  EXPECT_EQ(recorder.messages[1].text(0), "uploading captured track to pod");

  // The next source replaces it; a channel count below 1 counts every sample as a frame.
  engine.takeNewSource(NewSource{std::vector<float>{1, 2, 3}, 0, 0.0});
  EXPECT_EQ(engine.settings().startSamples, (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(engine.settings().startChannels, 1);
}

TEST_F(EngineTest, TheFixedDurationBackendAsksForTheSourceLength) {
  send("backend", "sa3");
  EXPECT_EQ(engine.live().grid().backendName(), "sa3");
  SessionConfig config = engine.sessionConfig();
  EXPECT_TRUE(config.fixedDurationBackend);
  EXPECT_FALSE(config.duration);

  startSource(nullptr, 96000, 2);
  config = engine.sessionConfig();
  ASSERT_TRUE(config.duration);
  EXPECT_EQ(*config.duration, 2.0);
  EXPECT_EQ(engine.live().grid().renderLength(), 2.0);

  send("sa3_duration", 7.5);
  EXPECT_EQ(engine.sessionConfig().duration, 7.5);

  send("backend", Atoms{});
  EXPECT_EQ(engine.settings().backend, "acestep");
  config = engine.sessionConfig();
  EXPECT_FALSE(config.duration);
  EXPECT_FALSE(config.fixedDurationBackend);
  EXPECT_EQ(config.prompt, "instrumental electronic music");
}

TEST_F(EngineTest, AThrowingOutletAbandonsOnlyThatMessage) {
  Engine fragile([this](const std::string& selector, const Atoms& atoms) {
    if (selector == "ws:close") throw std::runtime_error("host went away");
    recorder.messages.push_back({selector, atoms});
  });
  fragile.inlet("stop", {});  // its first message throws
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(fragile.failures().count, 1u);
  EXPECT_STREQ(fragile.failures().selector.data(), "stop");
  EXPECT_STREQ(fragile.failures().reason.data(), "host went away");
  fragile.inlet("cloud:error", Atoms{Atom("down")});
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].text(0), "cloud: down");
  EXPECT_EQ(fragile.failures().count, 1u);
}

TEST_F(EngineTest, EachKindOfFailureIsNotedByNameAndLongTextsAreCut) {
  int thrown = 0;
  Engine fragile([&thrown](const std::string& selector, const Atoms&) {
    if (selector != "ui:status") return;
    if (thrown++ == 0) throw std::bad_alloc();
    if (thrown == 2) throw std::length_error(std::string(500, 'x'));
    throw 7;  // not an exception type at all
  });
  EXPECT_EQ(fragile.failures().count, 0u);
  EXPECT_STREQ(fragile.failures().reason.data(), "");
  fragile.inlet("cloud:error", Atoms{Atom("a")});
  EXPECT_STREQ(fragile.failures().reason.data(), "out of memory");
  fragile.inlet("cloud:error", Atoms{Atom("b")});
  EXPECT_EQ(std::string(fragile.failures().reason.data()), std::string(191, 'x'));
  fragile.inlet("cloud:error", Atoms{Atom("c")});
  EXPECT_STREQ(fragile.failures().reason.data(), "the outlet callback failed");
  EXPECT_STREQ(fragile.failures().selector.data(), "cloud:error");
  EXPECT_EQ(fragile.failures().count, 3u);
}

TEST(InletTable, MatchesExactlyTheSixtyTwoSelectors) {
  // clang-format off
  const char* const selectors[] = {
      "ext:conn", "ext:data", "ext:close", "ws:open", "ws:data", "ws:close", "ws:buffered", "cloud:wsurl",
      "cloud:error", "cloud:catalog", "tick:param", "tick:reconnect", "backend", "sa3_duration", "depth",
      "steps", "sde", "tempo", "start", "stop", "transport", "bar", "loop_start", "loop_len", "section",
      "bars", "quant", "seek", "loop", "feed", "feed_mix", "splice_arm", "fixed_arm", "canvas_arm", "knob",
      "knob_enum", "knob_clear", "macro", "macroval", "prompt", "prompt_b", "prompt_ab", "blend", "lora",
      "lora_off", "lora_slot", "lora_strength", "swap", "timbre", "timbre_strength", "timbre_clear",
      "structure", "structure_clear", "key", "projroot", "projscale", "live_path", "preset:data",
      "preset:write_failed", "snapshot_req", "recall", "audio_export_req"};
  // clang-format on
  EXPECT_EQ(std::size(selectors), 62u);
  EXPECT_EQ(Engine::selectorCount(), 62u);
  for (const char* s : selectors) EXPECT_TRUE(Engine::accepts(s)) << s;
  for (const char* s : {"", "Start", "start ", " start", "sta", "ws:", "tick", "prompt_c", "zzz", "aaa"}) {
    EXPECT_FALSE(Engine::accepts(s)) << '"' << s << '"';
  }
  EXPECT_FALSE(Engine::accepts(std::string("bar\0", 4)));
}

TEST_F(EngineTest, AnUnknownSelectorChangesNothing) {
  send("Tempo", 140);
  send("bars ", 8);
  send("nonsense", Atoms{Atom("x"), Atom(std::vector<std::uint8_t>{1, 2})});
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_FALSE(engine.live().grid().liveTempo());
  EXPECT_EQ(engine.live().grid().loopLength(), 4);
}

}  // namespace
}  // namespace omber::engine

#include <gtest/gtest.h>

#include <cstring>

#include "core/engine/real_transport.h"
#include "core/live/live_audio_path.h"
#include "support/recording_outlet.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::floatAt;
using testing::frameType;
using testing::framePayload;
using testing::Recorder;

class PlaybackTest : public ::testing::Test {
 protected:
  PlaybackTest() { live.transport = &transport; }

  // A ready session whose stereo source of `frames` frames lasts `seconds`;
  // sample i holds i.
  void source(std::uint64_t frames, double seconds) {
    samples.resize(frames * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i);
    live.playback().holdSource(samples.data(), frames);
    live.readiness().apply({seconds, 0.0, std::nullopt, std::nullopt});
  }

  // Stream-mode audio collected while playing: 9600 frames make one piece
  // (the stream position becomes valid) and one more frame waits.
  void streamedAudio() {
    ASSERT_TRUE(live.playback().playing());
    live.feed().setMode(FeedMode::Stream);
    const std::vector<float> audio(9601 * 2, 0.5f);
    EXPECT_FALSE(live.feed().intake(9601, audio.data()));
    ASSERT_TRUE(live.feed().streamPositionValid());
    ASSERT_EQ(live.feed().framesWaiting(), 1u);
  }

  std::vector<link::FrameType> frameTypes() const {
    std::vector<link::FrameType> out;
    for (const auto& m : recorder.with("ext:write")) out.push_back(frameType(m));
    return out;
  }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  std::vector<float> samples;
};

TEST_F(PlaybackTest, AStreamStartLoadsThePlayersThenSetsTheBandThenRestatesChoices) {
  source(480, 30);
  live.sessionLoras[1].id = "lofi";
  live.sessionLoras[1].strength = 0.5;
  live.timbre = SourceClip{"clip", true, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, 2};
  live.structure.name = "verse";  // a fixture, no audio
  for (int bar = 0; bar < 9; ++bar) live.grid().onBar();
  live.playback().start(2, 3);

  ASSERT_EQ(recorder.selectors(),
            (std::vector<std::string>{"ext:write", "ws:send", "ext:write", "ext:write", "ui:section", "ws:send",
                                      "ws:send", "ws:send", "ws:send", "ui:ready"}));
  EXPECT_EQ(frameTypes(),
            (std::vector<link::FrameType>{link::FrameType::Init, link::FrameType::Band, link::FrameType::Seek}));
  const auto init = framePayload(recorder.messages[0]);
  ASSERT_EQ(init.size(), 10u + 960 * 4);
  EXPECT_EQ(link::getU32(init.data()), 48000u);
  EXPECT_EQ(link::getU16(init.data() + 4), 2u);
  EXPECT_EQ(link::getU32(init.data() + 6), 480u);
  EXPECT_EQ(floatAt(init, 10 + 4 * 959), 959.0f);

  EXPECT_EQ(recorder.messages[5].bytesText(0), R"({"type":"enable_lora","id":"lofi","strength":0.5})");
  EXPECT_EQ(recorder.messages[6].bytesText(0), R"({"type":"set_timbre_source","name":"clip"})");
  const auto& clip = recorder.messages[7].bytes(0);
  ASSERT_EQ(clip.size(), 8u + 4 * 4);  // 2 whole stereo frames of the 5 samples
  EXPECT_EQ(link::getU32(clip.data() + 4), 2u);
  EXPECT_EQ(recorder.messages[8].bytesText(0), R"({"type":"set_structure_fixture","name":"verse"})");
  EXPECT_EQ(recorder.messages[9].number(0), 3);

  EXPECT_TRUE(live.playback().playing());
  EXPECT_TRUE(live.playback().hasBuffer());
  EXPECT_EQ(live.playback().generation(), 3);
  EXPECT_EQ(live.playback().totalSamples(), 960);
  EXPECT_EQ(live.playback().swapCount(), 0);
  EXPECT_TRUE(live.grid().resyncPending());
  EXPECT_EQ(live.grid().streamStartBar(), 9);
  // No grid tempo: the region keeps a margin of 0.4 s, and the players start there.
  EXPECT_EQ(live.playback().reportedPlayHead(), 0.4);
  EXPECT_TRUE(live.grid().resume().valid);
}

TEST_F(PlaybackTest, TheSectionCountIsWholeSectionsOfTheSource) {
  source(48, 30);  // 120 BPM, 4/4, 4 bars: 8 s sections
  live.playback().start(2, 0);
  EXPECT_EQ(recorder.with("ui:ready").at(0).number(0), 3);

  recorder.clear();
  live.readiness().setSourceDuration(5);
  live.playback().start(2, 0);
  EXPECT_EQ(recorder.with("ui:ready").at(0).number(0), 1);

  recorder.clear();
  live.readiness().setSourceDuration(30);
  live.grid().setLiveTempo(60);  // 4 s bars, 16 s sections
  live.playback().start(2, 0);
  EXPECT_EQ(recorder.with("ui:ready").at(0).number(0), 1);

  recorder.clear();
  live.readiness().withdraw();
  live.playback().start(2, 0);
  EXPECT_EQ(recorder.with("ui:ready").at(0).number(0), 0);
  // Without a ready session there is no region to send.
  EXPECT_EQ(frameTypes(), std::vector<link::FrameType>{link::FrameType::Init});
}

TEST_F(PlaybackTest, APrintsPendingBarsBecomeTheLoopUnlessALoopStartIsSet) {
  source(48, 30);
  live.playback().start(2, 0);
  live.feed().loopNextStreamOver(2);
  live.grid().setLoopRegion(6, 0);  // a section change waiting for a bar line
  ASSERT_EQ(live.grid().pendingSection(), 6);
  streamedAudio();
  recorder.clear();
  live.playback().start(2, 0);
  EXPECT_EQ(live.grid().loopLength(), 2);
  EXPECT_EQ(live.grid().loopStartBar(), 0);
  EXPECT_FALSE(live.feed().pendingLoopBars());
  EXPECT_FALSE(live.grid().pendingSection());
  EXPECT_TRUE((live.feed().memory().captureSize == 0));
  EXPECT_FALSE(live.feed().streamPositionValid());
  EXPECT_EQ(recorder.with("ui:ready").at(0).number(0), 7);  // 30 s / 4 s

  live.grid().setLoopStart(4);
  live.feed().loopNextStreamOver(8);
  live.playback().start(2, 0);
  EXPECT_EQ(live.grid().loopLength(), 2);
  EXPECT_EQ(live.grid().loopStartBar(), 4);
  EXPECT_FALSE(live.feed().pendingLoopBars());
}

TEST_F(PlaybackTest, AfterASwapOnlyReportsOfTheNewGenerationMoveThePlayHead) {
  source(48, 30);
  live.playback().start(2, 0);
  live.playback().reportPlayHead(1.5, 0);
  EXPECT_EQ(live.playback().reportedPlayHead(), 1.5);
  streamedAudio();

  recorder.clear();
  live.playback().swapGeneration(2, 0);
  EXPECT_EQ(live.playback().swapCount(), 1);
  EXPECT_FALSE(live.feed().streamPositionValid());
  // The band is restated without moving the play head: no Seek.
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ws:send", "ext:write", "ui:swap"}));
  EXPECT_EQ(frameTypes(), (std::vector<link::FrameType>{link::FrameType::Swap, link::FrameType::Band}));
  const auto swap = framePayload(recorder.messages[0]);
  EXPECT_EQ(link::getU32(swap.data()), 48000u);
  EXPECT_EQ(swap.size(), 10u + 96 * 4);

  live.playback().reportPlayHead(9.0, 0);  // the old generation
  EXPECT_EQ(live.playback().reportedPlayHead(), 1.5);
  live.playback().reportPlayHead(2.0, 1);
  EXPECT_EQ(live.playback().reportedPlayHead(), 2.0);

  recorder.clear();
  live.playback().stop();
  live.playback().swapGeneration(2, 0);
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ui:swap"}));
}

TEST_F(PlaybackTest, ASwapSendsTheHeldSourceAndPatchesFollowItsGeneration) {
  source(48, 30);
  live.playback().start(2, 0);
  std::vector<float> next(24 * 2, 0.5f);
  live.playback().holdSource(next.data(), 24);
  EXPECT_EQ(live.playback().generation(), 0);  // holding sends nothing and changes no generation

  recorder.clear();
  live.playback().swapGeneration(2, 5);
  const auto swap = framePayload(recorder.with("ext:write").at(0));
  EXPECT_EQ(frameType(recorder.with("ext:write").at(0)), link::FrameType::Swap);
  ASSERT_EQ(swap.size(), 10u + 48 * 4);
  EXPECT_EQ(floatAt(swap, 10 + 4 * 47), 0.5f);
  EXPECT_EQ(live.playback().generation(), 5);
  EXPECT_EQ(live.playback().totalSamples(), 48);

  const float slice[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  recorder.clear();
  live.playback().patchSlice(0, 0, slice, 8);  // the generation before the swap
  EXPECT_TRUE(recorder.messages.empty());
  live.playback().patchSlice(5, 20, slice, 8);  // 4 frames left of the 24 held
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(framePayload(recorder.messages[0]).size(), 4u + 8 * 4);
}

TEST_F(PlaybackTest, AStopEndsPlayingButKeepsTheBufferAndTellsNobody) {
  source(48, 30);
  live.playback().start(2, 0);
  recorder.clear();
  live.playback().stop();
  EXPECT_FALSE(live.playback().playing());
  EXPECT_TRUE(live.playback().hasBuffer());
  EXPECT_TRUE(recorder.messages.empty());
  // Without a stream a section change is sent at once, with no Seek.
  live.grid().setQuantisation(1);
  live.grid().setLoopRegion(1, 2);
  EXPECT_EQ(frameTypes(), std::vector<link::FrameType>{link::FrameType::Band});
}

TEST_F(PlaybackTest, SlicesArePatchedOnlyWhereTheyFitTheCurrentGeneration) {
  source(10, 1);
  live.playback().start(2, 4);
  recorder.clear();
  const float slice[6] = {1, 2, 3, 4, 5, 6};

  live.playback().patchSlice(4, 8, slice, 6);  // 2 frames left: cut to 4 samples
  ASSERT_EQ(recorder.messages.size(), 1u);
  auto patch = framePayload(recorder.messages[0]);
  ASSERT_EQ(patch.size(), 4u + 4 * 4);
  EXPECT_EQ(link::getU32(patch.data()), 8u);
  EXPECT_EQ(floatAt(patch, 4), 1.0f);
  EXPECT_EQ(floatAt(patch, 16), 4.0f);

  recorder.clear();
  live.playback().patchSlice(4, 10, slice, 6);  // starts at the end
  live.playback().patchSlice(4, 4000000000u, slice, 6);
  live.playback().patchSlice(3, 0, slice, 6);  // another generation
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(PlaybackTest, PeaksAreTwoHundredRoundedBinsOfTheFirstChannel) {
  live.playback().reportPeaks();  // no buffer: nothing
  EXPECT_TRUE(recorder.messages.empty());

  source(100, 2.5);
  for (std::size_t f = 0; f < 100; ++f) {
    samples[2 * f] = 0.01f * static_cast<float>(f % 10);
    samples[2 * f + 1] = 5.0f;  // second channel: never looked at
  }
  samples[2 * 3] = -0.456f;
  live.playback().reportPeaks();
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"peaks"});
  const auto& peaks = recorder.messages[0];
  ASSERT_EQ(peaks.atoms.size(), 202u);
  EXPECT_EQ(peaks.number(0), 2.5);
  EXPECT_EQ(peaks.number(1), 2.0);
  EXPECT_EQ(peaks.number(2 + 3), 0.46);
  EXPECT_EQ(peaks.number(2 + 7), 0.07);
  EXPECT_EQ(peaks.number(2 + 99), 0.09);
  for (std::size_t i = 100; i < 200; ++i) EXPECT_EQ(peaks.number(2 + i), 0.0) << i;

  // 1600 frames: bins of 8 frames, of which only the first is read.
  recorder.clear();
  source(1600, 0);
  live.readiness().withdraw();
  for (std::size_t f = 0; f < 1600; ++f) samples[2 * f] = f % 8 == 0 ? 0.25f : -0.9f;
  live.playback().reportPeaks();
  const auto& sparse = recorder.messages.at(0);
  EXPECT_EQ(sparse.number(0), 0.0);  // not ready: no duration
  for (std::size_t i = 0; i < 200; ++i) EXPECT_EQ(sparse.number(2 + i), 0.25) << i;
}

}  // namespace
}  // namespace omber::live

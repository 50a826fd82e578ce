#include <gtest/gtest.h>

#include "core/host/real_transport.h"
#include "core/live/live_audio_path.h"
#include "support/recording_outlet.h"

namespace omber {
namespace {

using testing::frameType;
using testing::Recorder;

class BarGridTest : public ::testing::Test {
 protected:
  BarGridTest() { live.transport = &transport; }

  // A ready session with a source of the given length, 4/4.
  void source(double seconds, double gridTempo) {
    live.ready = true;
    live.sourceDuration = seconds;
    live.gridTempo = gridTempo;
  }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
};

TEST_F(BarGridTest, BeatsPerBarComeFromTheTimeSignature) {
  live.timeSignature = "7/8";
  EXPECT_EQ(live.beatsPerBar(), 7);
  live.timeSignature = "x/4";
  EXPECT_EQ(live.beatsPerBar(), 4);
  live.timeSignature = "0/4";
  EXPECT_EQ(live.beatsPerBar(), 4);
  live.timeSignature = "3";
  EXPECT_EQ(live.beatsPerBar(), 3);
  live.timeSignature = "99999999999/4";
  EXPECT_EQ(live.beatsPerBar(), 4);
}

TEST_F(BarGridTest, TheTempoInUseFallsBackToLiveThenTo120) {
  EXPECT_EQ(live.barLength(), 2.0);
  live.liveTempo = 60;
  EXPECT_EQ(live.barLength(), 4.0);
  live.gridTempo = 240;
  EXPECT_EQ(live.barLength(), 1.0);
}

TEST_F(BarGridTest, LoopRegionsAreWholeBarsPulledBackIntoTheBuffer) {
  source(16, 120);
  live.loopLength = 2;
  live.loopStartBar = 1;
  LoopRegion r = live.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 2.0);
  EXPECT_DOUBLE_EQ(r.end, 6.0);
  live.loopStartBar = 9;  // whole bars 7: pulled back to bar 6
  r = live.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 12.0);
  EXPECT_DOUBLE_EQ(r.end, 16.0);
}

TEST_F(BarGridTest, WithoutAGridTheRegionKeepsAMargin) {
  source(10, 0);
  LoopRegion r = live.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 0.4);
  EXPECT_DOUBLE_EQ(r.end, 9.6);
  live.sourceDuration = 2;
  r = live.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 0.1);
  EXPECT_DOUBLE_EQ(r.end, 1.9);
  live.ready = false;  // the duration counts only when ready
  r = live.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 0.0);
  EXPECT_DOUBLE_EQ(r.end, 0.1);
}

TEST_F(BarGridTest, SnappedPositionsWrapIntoAWholeBarBuffer) {
  source(16, 0);
  EXPECT_DOUBLE_EQ(live.snappedPosition(17.2), 2.0);
  live.sourceDuration = 15;  // not a whole number of bars
  EXPECT_DOUBLE_EQ(live.snappedPosition(17.2), 13.0);
  EXPECT_DOUBLE_EQ(live.snappedPosition(3.1), 4.0);
}

TEST_F(BarGridTest, ExpectedPositionCountsBarsFromTheResumePoint) {
  source(16, 120);
  EXPECT_FALSE(live.expectedPosition());
  live.resume = ResumePoint{10, 2.0, true};
  live.barCounter = 13;  // 3 bars later: 8 s, wrapped into the 16 s region
  ASSERT_TRUE(live.expectedPosition());
  EXPECT_DOUBLE_EQ(*live.expectedPosition(), 8.0);
  live.barCounter = 18;
  EXPECT_DOUBLE_EQ(*live.expectedPosition(), 2.0);
}

TEST_F(BarGridTest, ALoopChangeWhilePlayingWaitsForTheNextBar) {
  source(16, 120);
  live.hasBuffer = true;
  live.playing = true;
  live.setLoopRegion(2.4, 2);
  EXPECT_EQ(live.loopStartBar, -1);
  EXPECT_EQ(live.loopLength, 2);
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:section_pending"});
  EXPECT_EQ(recorder.messages[0].number(0), 2);

  recorder.clear();
  live.barCounter = 5;
  live.onBar();
  EXPECT_EQ(live.barCounter, 6);
  EXPECT_EQ(live.loopStartBar, 2);
  EXPECT_FALSE(live.sectionPending);
  ASSERT_EQ(recorder.selectors(),
            (std::vector<std::string>{"ws:send", "ext:write", "ext:write", "ui:section"}));
  EXPECT_EQ(recorder.messages[0].bytesText(0), R"({"type":"loop_band","start_sec":4,"end_sec":8})");
  EXPECT_EQ(frameType(recorder.messages[1]), link::FrameType::Band);
  EXPECT_EQ(frameType(recorder.messages[2]), link::FrameType::Seek);
  EXPECT_EQ(recorder.messages[3].number(1), 4);
  EXPECT_EQ(recorder.messages[3].number(2), 8);
  EXPECT_EQ(live.reportedPlayHead, 4.0);
  EXPECT_TRUE(live.resume.valid);
  EXPECT_EQ(live.resume.bar, 6);
}

TEST_F(BarGridTest, WithoutLoopBandCapabilityOnlyThePlayersHearOfTheRegion) {
  source(16, 120);
  live.hasBuffer = true;
  live.loopBandCapability = false;
  live.quantisation = 0;
  live.setLoopRegion(-3, 0.5);  // negative start: no region; the length stays
  EXPECT_EQ(live.loopStartBar, -1);
  EXPECT_EQ(live.loopLength, 4);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ui:section"}));
  EXPECT_EQ(recorder.messages[1].number(0), -1);
}

TEST_F(BarGridTest, ADeferredActionRunsOnceAtTheNextBar) {
  int runs = 0;
  live.deferredAction = [&] { ++runs; };
  live.onBar();
  live.onBar();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(live.barCounter, 2);
}

}  // namespace
}  // namespace omber

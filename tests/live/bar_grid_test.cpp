#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "core/engine/real_transport.h"
#include "core/live/live_audio_path.h"
#include "support/recording_outlet.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::frameType;
using testing::framePayload;
using testing::Recorder;

class BarGridTest : public ::testing::Test {
 protected:
  BarGridTest() { live.transport = &transport; }

  // A ready session with a source of the given length, 4/4.
  void source(double seconds, double gridTempo) {
    live.readiness().apply({seconds, 0.0, std::nullopt, std::nullopt});
    live.gridTempo = gridTempo;
  }

  // A stream playing on a grid at 120 BPM (2 s bars), counted from bar 0 at
  // the start of the buffer.
  void playing(double seconds) {
    source(seconds, 120);
    live.gridTempoKnown = true;
    streamStarted(seconds);
    live.resume = ResumePoint{0, 0.0, true};
    live.resyncPending = false;
  }

  // The players were loaded with a silent stereo source of `seconds` and
  // play it, as the server session starts a stream; what that sent is
  // forgotten.
  void streamStarted(double seconds) {
    buffer.assign(static_cast<std::size_t>(seconds * 48000.0) * 2, 0.0f);
    live.playback().holdSource(buffer.data(), buffer.size() / 2);
    live.playback().start(2, 0);
    recorder.clear();
  }

  // A player's Position frame of the generation it holds.
  void reportPlayHead(double seconds) { live.playback().reportPlayHead(seconds, live.playback().swapCount()); }

  // The seconds of every Seek frame sent since the last clear.
  std::vector<double> seeks() const {
    std::vector<double> out;
    for (const auto& m : recorder.with("ext:write"))
      if (frameType(m) == link::FrameType::Seek) out.push_back(link::getF64(framePayload(m).data()));
    return out;
  }

  std::vector<double> phases() const {
    std::vector<double> out;
    for (const auto& m : recorder.with("ui:phase")) out.push_back(m.number(0));
    return out;
  }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  std::vector<float> buffer;  // the source the players hold
};

TEST_F(BarGridTest, BeatsPerBarComeFromTheTimeSignature) {
  live.readiness().apply({std::nullopt, 0.0, "7/8", std::nullopt});
  EXPECT_EQ(live.beatsPerBar(), 7);
  live.readiness().apply({std::nullopt, 0.0, "x/4", std::nullopt});
  EXPECT_EQ(live.beatsPerBar(), 4);
  live.readiness().apply({std::nullopt, 0.0, "0/4", std::nullopt});
  EXPECT_EQ(live.beatsPerBar(), 4);
  live.readiness().apply({std::nullopt, 0.0, "3", std::nullopt});
  EXPECT_EQ(live.beatsPerBar(), 3);
  live.readiness().apply({std::nullopt, 0.0, "99999999999/4", std::nullopt});
  EXPECT_EQ(live.beatsPerBar(), 4);
}

TEST_F(BarGridTest, TheTempoInUseFallsBackToLiveThenTo120) {
  EXPECT_EQ(live.barLength(), 2.0);
  live.liveTempo = 60;
  EXPECT_EQ(live.barLength(), 4.0);
  live.gridTempo = 240;
  EXPECT_EQ(live.barLength(), 1.0);
}

struct RegionCase {
  const char* what;
  double duration;  // seconds
  double gridTempo;
  std::int32_t loopStartBar;
  std::int32_t loopLength;
  double start, end;
};

TEST_F(BarGridTest, LoopRegions) {
  const RegionCase cases[] = {
      {"whole bars from bar 1", 16, 120, 1, 2, 2, 6},
      {"start too far: pulled back to bar whole - 1", 16, 120, 9, 2, 12, 16},
      {"longer than the buffer: ends with it", 16, 120, 6, 8, 12, 16},
      {"no grid, no region: a margin of 0.4 s", 10, 0, -1, 4, 0.4, 9.6},
      {"no grid, short buffer: a margin of 5 %", 2, 0, -1, 4, 0.1, 1.9},
      {"no grid, one-bar buffer: both ends pulled in", 2, 0, 0, 1, 0.1, 1.9},
      {"no grid: start pulled back, end pulled in", 10, 0, 4, 2, 6, 9.6},
  };
  for (const RegionCase& c : cases) {
    SCOPED_TRACE(c.what);
    source(c.duration, c.gridTempo);
    live.loopStartBar = c.loopStartBar;
    live.loopLength = c.loopLength;
    const LoopRegion r = live.loopRegion();
    EXPECT_DOUBLE_EQ(r.start, c.start);
    EXPECT_DOUBLE_EQ(r.end, c.end);
  }
}

TEST_F(BarGridTest, TheRegionCountsTheDurationOnlyWhenReady) {
  source(10, 0);
  live.readiness().withdraw();
  const LoopRegion r = live.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 0.0);
  EXPECT_DOUBLE_EQ(r.end, 0.1);
}

TEST_F(BarGridTest, AnEndPulledInByTheMarginStaysATenthAfterTheStart) {
  source(10, 0);
  live.liveTempo = 6000;  // bars of 40 ms: the last bar but one starts at 9.92 s
  live.loopStartBar = 1000;
  live.loopLength = 1;
  const LoopRegion r = live.loopRegion();
  EXPECT_NEAR(r.start, 9.92, 1e-9);
  EXPECT_NEAR(r.end, 10.02, 1e-9);
}

TEST_F(BarGridTest, AFixedRenderEndsTheRegionAtItsLength) {
  source(16, 120);
  live.backendName = "sa3";
  live.renderLength = 5;
  EXPECT_DOUBLE_EQ(live.loopRegion().end, 5.0);
  live.loopStartBar = 3;  // the render ends before the region starts: left alone
  live.loopLength = 2;
  EXPECT_DOUBLE_EQ(live.loopRegion().end, 10.0);
}

struct SnapCase {
  double duration;
  double gridTempo;
  std::int32_t loopStartBar;
  double t, snapped;
};

TEST_F(BarGridTest, SnappedPositions) {
  const SnapCase cases[] = {
      {16, 0, -1, 17.2, 2},                          // whole bars: 18 s wraps to 2 s
      {15, 0, -1, 17.2, 13},                         // not whole bars: the last bar but one
      {15, 0, -1, 3.1, 4},                           // the nearest bar line
      {0, 0, -1, -3.0, 0},                           // no buffer: never below 0
      {0, 0, -1, 7.1, 8},    {16, 120, 1, 13.0, 6},  // with a grid and a region (2..10 s): wrapped into it
      {16, 120, 1, 0.4, 8},                          // below the region: from its end
  };
  for (const SnapCase& c : cases) {
    SCOPED_TRACE(c.t);
    source(c.duration, c.gridTempo);
    live.loopStartBar = c.loopStartBar;
    EXPECT_DOUBLE_EQ(live.snappedPosition(c.t), c.snapped);
  }
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
  streamStarted(16);
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
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ws:send", "ext:write", "ext:write", "ui:section"}));
  EXPECT_EQ(recorder.messages[0].bytesText(0), R"({"type":"loop_band","start_sec":4,"end_sec":8})");
  EXPECT_EQ(frameType(recorder.messages[1]), link::FrameType::Band);
  EXPECT_EQ(frameType(recorder.messages[2]), link::FrameType::Seek);
  EXPECT_EQ(recorder.messages[3].number(1), 4);
  EXPECT_EQ(recorder.messages[3].number(2), 8);
  EXPECT_EQ(live.playback().reportedPlayHead(), 4.0);
  EXPECT_TRUE(live.resume.valid);
  EXPECT_EQ(live.resume.bar, 6);
}

TEST_F(BarGridTest, WithoutLoopBandCapabilityOnlyThePlayersHearOfTheRegion) {
  source(16, 120);
  streamStarted(16);
  live.playback().stop();
  live.readiness().apply({16.0, 0.0, std::nullopt, false});  // no loop band capability
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

TEST_F(BarGridTest, AQueuedSectionChangeAppliesInTheSameBar) {
  playing(16);
  live.deferredAction = [this] {
    live.setLoopRegion(2, 2);  // as a recalled preset would, while playing: pending
    throw std::runtime_error("the rest of the recall failed");
  };
  live.onBar();
  EXPECT_EQ(live.loopStartBar, 2);
  EXPECT_EQ(seeks(), std::vector<double>{4.0});
  EXPECT_EQ(recorder.with("ui:section").size(), 1u);
}

TEST_F(BarGridTest, OnlyAFailedRecallIsAbsorbedByTheBarLine) {
  playing(16);
  live.deferredAction = [] { throw std::bad_alloc(); };
  live.onBar();
  EXPECT_EQ(live.barCounter, 1);
  EXPECT_EQ(phases().size(), 1u);  // the bar's own steps ran

  // Anything else is no recall failure: it reaches the caller (the engine's inlet).
  live.deferredAction = [] { throw 7; };
  EXPECT_THROW(live.onBar(), int);
  EXPECT_FALSE(live.deferredAction);
}

TEST_F(BarGridTest, TempoMismatchIsReportedEveryEightBars) {
  playing(16);
  live.liveTempo = 121;
  live.liveTempoKnown = true;
  for (int bar = 1; bar <= 17; ++bar) live.onBar();
  const auto warnings = recorder.with("ui:status");
  ASSERT_EQ(warnings.size(), 3u);  // bars 1, 9 and 17
  EXPECT_EQ(warnings[0].text(0),
            "TEMPO MISMATCH: session grid 120.0 vs Live 121.0 - disconnect and reconnect to re-sync");
  EXPECT_EQ(live.lastTempoWarningBar, 17);

  // Within half a beat per minute the tempos agree, and a new mismatch is told at once.
  recorder.clear();
  live.liveTempo = 120.4;
  live.onBar();
  EXPECT_TRUE(recorder.with("ui:status").empty());
  live.liveTempo = 118.3;
  live.onBar();
  ASSERT_EQ(recorder.with("ui:status").size(), 1u);
  EXPECT_EQ(recorder.with("ui:status")[0].text(0),
            "TEMPO MISMATCH: session grid 120.0 vs Live 118.3 - disconnect and reconnect to re-sync");

  // Not without a known grid, and not while nothing plays.
  recorder.clear();
  live.gridTempoKnown = false;
  for (int bar = 0; bar < 9; ++bar) live.onBar();
  live.gridTempoKnown = true;
  live.playback().stop();
  for (int bar = 0; bar < 9; ++bar) live.onBar();
  EXPECT_TRUE(recorder.with("ui:status").empty());
}

TEST_F(BarGridTest, SmallPhaseErrorsAreReportedAndLargeOnesCorrected) {
  playing(16);
  reportPlayHead(2.030);  // bar 1 is expected at 2 s
  live.onBar();
  ASSERT_EQ(phases().size(), 1u);
  EXPECT_NEAR(phases()[0], 30.0, 1e-9);
  EXPECT_TRUE(seeks().empty());

  recorder.clear();
  reportPlayHead(3.950);
  live.onBar();
  ASSERT_EQ(phases().size(), 1u);
  EXPECT_NEAR(phases()[0], -50.0, 1e-9);
  EXPECT_EQ(seeks(), std::vector<double>{4.0});
  EXPECT_EQ(live.playback().reportedPlayHead(), 4.0);

  // The error is taken the short way round the loop.
  recorder.clear();
  live.barCounter = 7;  // the next bar, 8, is expected at the loop start
  reportPlayHead(15.990);
  live.onBar();
  EXPECT_NEAR(phases().at(0), -10.0, 1e-9);
  EXPECT_TRUE(seeks().empty());
}

TEST_F(BarGridTest, SomeStatesOnlyReportThePhase) {
  playing(16);
  live.feed().setMode(FeedMode::Fixed);  // a fixed print's feed: never moved
  reportPlayHead(2.5);
  live.onBar();
  EXPECT_EQ(phases().size(), 1u);
  EXPECT_TRUE(seeks().empty());

  // The fixed render corrects at loop boundaries only (every 4 bars from the resume bar).
  recorder.clear();
  live.feed().setMode(FeedMode::Off);
  live.backendName = "sa3";
  reportPlayHead(4.5);  // bar 2
  live.onBar();
  reportPlayHead(6.5);
  live.onBar();
  EXPECT_EQ(phases().size(), 2u);
  EXPECT_TRUE(seeks().empty());
  reportPlayHead(8.05);  // bar 4: a boundary
  live.onBar();
  EXPECT_EQ(seeks(), std::vector<double>{8.0});

  // While a print records, the players stay where they are and no phase is reported.
  live.backendName = "acestep";
  live.feed().armPrint(4, false, true);  // quiet: no status texts
  recorder.clear();
  live.resyncPending = true;
  reportPlayHead(3.0);
  live.onBar();
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_TRUE(live.resyncPending);
}

TEST_F(BarGridTest, TheFirstSuitableBarPlacesThePlayersOnTheGrid) {
  playing(16);
  live.resyncPending = true;
  live.gridTempoKnown = false;  // no grid yet: waits
  live.onBar();
  EXPECT_TRUE(live.resyncPending);
  EXPECT_TRUE(recorder.messages.empty());

  live.gridTempoKnown = true;
  reportPlayHead(11.0);  // far off; the resync seeks regardless of the error
  live.onBar();
  EXPECT_FALSE(live.resyncPending);
  EXPECT_EQ(seeks(), std::vector<double>{4.0});
  EXPECT_EQ(phases(), std::vector<double>{0.0});
}

}  // namespace
}  // namespace omber::live

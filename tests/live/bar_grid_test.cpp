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
    grid.setGridTempo(gridTempo);  // 0: no grid
  }

  // A stream playing on a grid at 120 BPM (2 s bars), counted from bar 0 at
  // the start of the buffer.
  void playing(double seconds) {
    source(seconds, 120);
    streamStarted(seconds);
    // The loop's section applied while playing settles the start's resync.
    grid.applySection(grid.loopStartBar());
    grid.resumeAt(0, 0.0);
    recorder.clear();
  }

  // Bar lines of Live pass.
  void barsPass(int bars) {
    for (int bar = 0; bar < bars; ++bar) grid.onBar();
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
  BarGrid& grid = live.grid();
  std::vector<float> buffer;  // the source the players hold
};

TEST_F(BarGridTest, BeatsPerBarComeFromTheTimeSignature) {
  live.readiness().apply({std::nullopt, 0.0, "7/8", std::nullopt});
  EXPECT_EQ(grid.beatsPerBar(), 7);
  live.readiness().apply({std::nullopt, 0.0, "x/4", std::nullopt});
  EXPECT_EQ(grid.beatsPerBar(), 4);
  live.readiness().apply({std::nullopt, 0.0, "0/4", std::nullopt});
  EXPECT_EQ(grid.beatsPerBar(), 4);
  live.readiness().apply({std::nullopt, 0.0, "3", std::nullopt});
  EXPECT_EQ(grid.beatsPerBar(), 3);
  live.readiness().apply({std::nullopt, 0.0, "99999999999/4", std::nullopt});
  EXPECT_EQ(grid.beatsPerBar(), 4);
}

TEST_F(BarGridTest, TheTempoInUseFallsBackToLiveThenTo120) {
  EXPECT_EQ(grid.barLength(), 2.0);
  grid.setLiveTempo(60);
  EXPECT_EQ(grid.barLength(), 4.0);
  grid.setGridTempo(240);
  EXPECT_EQ(grid.barLength(), 1.0);
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
    grid.setLoopStart(c.loopStartBar);
    grid.setLoopLength(c.loopLength);
    const LoopRegion r = grid.loopRegion();
    EXPECT_DOUBLE_EQ(r.start, c.start);
    EXPECT_DOUBLE_EQ(r.end, c.end);
  }
}

TEST_F(BarGridTest, TheRegionCountsTheDurationOnlyWhenReady) {
  source(10, 0);
  live.readiness().withdraw();
  const LoopRegion r = grid.loopRegion();
  EXPECT_DOUBLE_EQ(r.start, 0.0);
  EXPECT_DOUBLE_EQ(r.end, 0.1);
}

TEST_F(BarGridTest, AnEndPulledInByTheMarginStaysATenthAfterTheStart) {
  source(10, 0);
  grid.setLiveTempo(6000);  // bars of 40 ms: the last bar but one starts at 9.92 s
  grid.setLoopStart(1000);
  grid.setLoopLength(1);
  const LoopRegion r = grid.loopRegion();
  EXPECT_NEAR(r.start, 9.92, 1e-9);
  EXPECT_NEAR(r.end, 10.02, 1e-9);
}

TEST_F(BarGridTest, AFixedRenderEndsTheRegionAtItsLength) {
  source(16, 120);
  grid.setBackend("sa3");
  grid.setRenderLength(5);
  EXPECT_DOUBLE_EQ(grid.loopRegion().end, 5.0);
  grid.setLoopStart(3);  // the render ends before the region starts: left alone
  grid.setLoopLength(2);
  EXPECT_DOUBLE_EQ(grid.loopRegion().end, 10.0);
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
    grid.setLoopStart(c.loopStartBar);
    EXPECT_DOUBLE_EQ(grid.snappedPosition(c.t), c.snapped);
  }
}

TEST_F(BarGridTest, ExpectedPositionCountsBarsFromTheResumePoint) {
  source(16, 120);
  EXPECT_FALSE(grid.expectedPosition());
  barsPass(10);
  grid.resumeAt(10, 2.0);
  barsPass(3);  // 3 bars later: 8 s, wrapped into the 16 s region
  ASSERT_TRUE(grid.expectedPosition());
  EXPECT_DOUBLE_EQ(*grid.expectedPosition(), 8.0);
  barsPass(5);
  EXPECT_EQ(grid.barCounter(), 18);
  EXPECT_DOUBLE_EQ(*grid.expectedPosition(), 2.0);
}

TEST_F(BarGridTest, ALoopChangeWhilePlayingWaitsForTheNextBar) {
  source(16, 120);
  barsPass(5);
  streamStarted(16);
  grid.setLoopRegion(2.4, 2);
  EXPECT_EQ(grid.loopStartBar(), -1);
  EXPECT_EQ(grid.loopLength(), 2);
  EXPECT_EQ(grid.pendingSection(), 2);
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:section_pending"});
  EXPECT_EQ(recorder.messages[0].number(0), 2);

  recorder.clear();
  grid.onBar();
  EXPECT_EQ(grid.barCounter(), 6);
  EXPECT_EQ(grid.loopStartBar(), 2);
  EXPECT_FALSE(grid.pendingSection());
  // The section starts here, so the players are on the grid: a phase of 0.
  ASSERT_EQ(recorder.selectors(),
            (std::vector<std::string>{"ws:send", "ext:write", "ext:write", "ui:section", "ui:phase"}));
  EXPECT_EQ(recorder.messages[0].bytesText(0), R"({"type":"loop_band","start_sec":4,"end_sec":8})");
  EXPECT_EQ(frameType(recorder.messages[1]), link::FrameType::Band);
  EXPECT_EQ(frameType(recorder.messages[2]), link::FrameType::Seek);
  EXPECT_EQ(recorder.messages[3].number(1), 4);
  EXPECT_EQ(recorder.messages[3].number(2), 8);
  EXPECT_EQ(recorder.messages[4].number(0), 0);
  EXPECT_EQ(live.playback().reportedPlayHead(), 4.0);
  EXPECT_TRUE(grid.resume().valid);
  EXPECT_EQ(grid.resume().bar, 6);
}

TEST_F(BarGridTest, WithoutLoopBandCapabilityOnlyThePlayersHearOfTheRegion) {
  source(16, 120);
  streamStarted(16);
  live.playback().stop();
  live.readiness().apply({16.0, 0.0, std::nullopt, false});  // no loop band capability
  grid.setQuantisation(0);
  grid.setLoopRegion(-3, 0.5);  // negative start: no region; the length stays
  EXPECT_EQ(grid.loopStartBar(), -1);
  EXPECT_EQ(grid.loopLength(), 4);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:write", "ui:section"}));
  EXPECT_EQ(recorder.messages[1].number(0), -1);
}

TEST_F(BarGridTest, ADeferredActionRunsOnceAtTheNextBar) {
  int runs = 0;
  grid.deferToNextBar([&] { ++runs; });
  grid.onBar();
  grid.onBar();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(grid.barCounter(), 2);
}

TEST_F(BarGridTest, AQueuedSectionChangeAppliesInTheSameBar) {
  playing(16);
  grid.deferToNextBar([this] {
    grid.setLoopRegion(2, 2);  // as a recalled preset would, while playing: pending
    throw std::runtime_error("the rest of the recall failed");
  });
  grid.onBar();
  EXPECT_EQ(grid.loopStartBar(), 2);
  EXPECT_EQ(seeks(), std::vector<double>{4.0});
  EXPECT_EQ(recorder.with("ui:section").size(), 1u);
}

TEST_F(BarGridTest, OnlyAFailedRecallIsAbsorbedByTheBarLine) {
  playing(16);
  grid.deferToNextBar([] { throw std::bad_alloc(); });
  grid.onBar();
  EXPECT_EQ(grid.barCounter(), 1);
  EXPECT_EQ(phases().size(), 1u);  // the bar's own steps ran

  // Anything else is no recall failure: it reaches the caller (the engine's inlet).
  grid.deferToNextBar([] { throw 7; });
  EXPECT_THROW(grid.onBar(), int);
  EXPECT_FALSE(grid.hasDeferredAction());
}

TEST_F(BarGridTest, TempoMismatchIsReportedEveryEightBars) {
  playing(16);
  grid.setLiveTempo(121);
  for (int bar = 1; bar <= 17; ++bar) grid.onBar();
  const auto warnings = recorder.with("ui:status");
  ASSERT_EQ(warnings.size(), 3u);  // bars 1, 9 and 17
  EXPECT_EQ(warnings[0].text(0),
            "TEMPO MISMATCH: session grid 120.0 vs Live 121.0 - disconnect and reconnect to re-sync");
  EXPECT_EQ(grid.lastTempoWarningBar(), 17);

  // Within half a beat per minute the tempos agree, and a new mismatch is told at once.
  recorder.clear();
  grid.setLiveTempo(120.4);
  grid.onBar();
  EXPECT_TRUE(recorder.with("ui:status").empty());
  grid.setLiveTempo(118.3);
  grid.onBar();
  ASSERT_EQ(recorder.with("ui:status").size(), 1u);
  EXPECT_EQ(recorder.with("ui:status")[0].text(0),
            "TEMPO MISMATCH: session grid 120.0 vs Live 118.3 - disconnect and reconnect to re-sync");

  // Not without a grid, and not while nothing plays.
  recorder.clear();
  grid.setGridTempo(0);
  for (int bar = 0; bar < 9; ++bar) grid.onBar();
  grid.setGridTempo(120);
  live.playback().stop();
  for (int bar = 0; bar < 9; ++bar) grid.onBar();
  EXPECT_TRUE(recorder.with("ui:status").empty());
}

TEST_F(BarGridTest, SmallPhaseErrorsAreReportedAndLargeOnesCorrected) {
  playing(16);
  reportPlayHead(2.030);  // bar 1 is expected at 2 s
  grid.onBar();
  ASSERT_EQ(phases().size(), 1u);
  EXPECT_NEAR(phases()[0], 30.0, 1e-9);
  EXPECT_TRUE(seeks().empty());

  recorder.clear();
  reportPlayHead(3.950);
  grid.onBar();
  ASSERT_EQ(phases().size(), 1u);
  EXPECT_NEAR(phases()[0], -50.0, 1e-9);
  EXPECT_EQ(seeks(), std::vector<double>{4.0});
  EXPECT_EQ(live.playback().reportedPlayHead(), 4.0);

  // The error is taken the short way round the loop.
  recorder.clear();
  grid.resumeAt(grid.barCounter(), 14.0);  // the next bar is expected at the loop start
  reportPlayHead(15.990);
  grid.onBar();
  EXPECT_NEAR(phases().at(0), -10.0, 1e-9);
  EXPECT_TRUE(seeks().empty());
}

TEST_F(BarGridTest, SomeStatesOnlyReportThePhase) {
  playing(16);
  live.feed().setMode(FeedMode::Fixed);  // a fixed print's feed: never moved
  reportPlayHead(2.5);
  grid.onBar();
  EXPECT_EQ(phases().size(), 1u);
  EXPECT_TRUE(seeks().empty());

  // The fixed render corrects at loop boundaries only (every 4 bars from the resume bar).
  recorder.clear();
  live.feed().setMode(FeedMode::Off);
  grid.setBackend("sa3");
  reportPlayHead(4.5);  // bar 2
  grid.onBar();
  reportPlayHead(6.5);
  grid.onBar();
  EXPECT_EQ(phases().size(), 2u);
  EXPECT_TRUE(seeks().empty());
  reportPlayHead(8.05);  // bar 4: a boundary
  grid.onBar();
  EXPECT_EQ(seeks(), std::vector<double>{8.0});

  // While a print records, the players stay where they are and no phase is reported.
  grid.setBackend("acestep");
  live.feed().armPrint(4, false, true);  // quiet: no status texts
  recorder.clear();
  grid.requestResync();
  reportPlayHead(3.0);
  grid.onBar();
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_TRUE(grid.resyncPending());
}

TEST_F(BarGridTest, TheFirstSuitableBarPlacesThePlayersOnTheGrid) {
  playing(16);
  grid.requestResync();
  grid.setGridTempo(0);  // no grid yet: waits
  grid.onBar();
  EXPECT_TRUE(grid.resyncPending());
  EXPECT_TRUE(recorder.messages.empty());

  grid.setGridTempo(120);
  reportPlayHead(11.0);  // far off; the resync seeks regardless of the error
  grid.onBar();
  EXPECT_FALSE(grid.resyncPending());
  EXPECT_EQ(seeks(), std::vector<double>{4.0});
  EXPECT_EQ(phases(), std::vector<double>{0.0});
}

TEST_F(BarGridTest, RestatingTheSectionMovesNobody) {
  playing(16);
  grid.setLoopStart(1);
  grid.setLoopLength(2);
  reportPlayHead(3.0);
  grid.restateSection();
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ws:send", "ext:write"}));
  EXPECT_EQ(recorder.messages[0].bytesText(0), R"({"type":"loop_band","start_sec":2,"end_sec":6})");
  EXPECT_EQ(frameType(recorder.messages[1]), link::FrameType::Band);
  EXPECT_EQ(live.playback().reportedPlayHead(), 3.0);
  EXPECT_EQ(grid.resume().bar, 0);

  // Nothing to restate before the players hold a buffer.
  recorder.clear();
  LiveAudioPath empty;
  empty.transport = &transport;
  empty.readiness().apply({16.0, 0.0, std::nullopt, std::nullopt});
  empty.grid().setLoopStart(1);
  empty.grid().restateSection();
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(BarGridTest, AStreamStartDropsAWaitingSectionAndCountsFromItsBar) {
  playing(16);
  barsPass(3);
  grid.setLoopRegion(1, 2);
  ASSERT_TRUE(grid.pendingSection());
  grid.streamStarted();
  EXPECT_FALSE(grid.pendingSection());
  EXPECT_TRUE(grid.resyncPending());
  EXPECT_EQ(grid.streamStartBar(), 3);

  // The dropped change never arrives; the first bar puts the players on the grid.
  recorder.clear();
  reportPlayHead(9.0);
  grid.onBar();
  EXPECT_EQ(grid.loopStartBar(), -1);
  EXPECT_TRUE(recorder.with("ui:section").empty());
  EXPECT_EQ(seeks(), std::vector<double>{8.0});
  EXPECT_FALSE(grid.resyncPending());
}

TEST_F(BarGridTest, ANegativeLoopStartMeansNoRegion) {
  source(16, 120);
  grid.setLoopStart(-5);
  EXPECT_EQ(grid.loopStartBar(), -1);
  EXPECT_DOUBLE_EQ(grid.loopRegion().start, 0.0);
  EXPECT_DOUBLE_EQ(grid.loopRegion().end, 16.0);
}

}  // namespace
}  // namespace omber::live

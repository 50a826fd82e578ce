// Prints and splices on a live audio path: arming, the bar line that starts
// the recording, the frame that finishes it, and what a finished print
// becomes (a replacing write, a fill, or a new source).
#include <algorithm>
#include <cmath>
#include <limits>

#include "live/capture_fixture.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::AudioWrite;
using testing::CaptureTest;
using testing::capturedAudio;

// The first `frames` frames of a capture, repeated `times` times.
std::vector<float> repeated(std::uint64_t frames, std::uint64_t times) {
  const std::vector<float> print = capturedAudio(0, frames);
  std::vector<float> out;
  for (std::uint64_t i = 0; i < times; ++i) out.insert(out.end(), print.begin(), print.end());
  return out;
}

TEST_F(CaptureTest, ArmingCapsThePrintAtAMinuteOfBars) {
  live.grid().setLiveTempo(120);
  live.feed().armPrint(40, true, false);
  EXPECT_EQ(live.feed().print().bars, 30);
  EXPECT_EQ(live.feed().print().state, RecordState::Armed);
  EXPECT_TRUE(live.feed().print().active && live.feed().print().fixed && !live.feed().print().quiet);
  EXPECT_EQ(statuses().back(), "print armed \u2014 30 bars from next barline");
  ASSERT_EQ(recorder.with("ui:gridbpm").size(), 1u);
  EXPECT_EQ(recorder.with("ui:gridbpm")[0].number(0), 120);
  EXPECT_EQ(captureFlags(), std::vector<bool>{true});

  // Not playing: a new request replaces the armed print.
  for (const double bars : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    live.feed().armPrint(bars, false, false);
    EXPECT_EQ(live.feed().print().bars, 1) << bars;
    EXPECT_EQ(statuses().back(), "print armed \u2014 1 bar from next barline");
  }
  live.feed().armPrint(3.9, false, false);
  EXPECT_EQ(live.feed().print().bars, 3);

  // Quiet prints (the automatic mode's) say nothing.
  const std::size_t said = statuses().size();
  live.feed().armPrint(2, false, true);
  EXPECT_EQ(statuses().size(), said);

  // While playing, an active print is not replaced.
  streaming(32);
  recorder.clear();
  live.feed().armPrint(8, true, false);
  EXPECT_EQ(live.feed().print().bars, 2);
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(CaptureTest, APrintTakesLivesTempoAndCountsItsBarsAtThatTempo) {
  // No tempo known at all: 120.
  live.feed().armPrint(4, false, false);
  EXPECT_EQ(live.feed().print().tempo, 120);
  // The session grid's tempo while Live's is unknown.
  live.grid().setGridTempo(90);
  live.feed().armPrint(4, false, false);
  EXPECT_EQ(live.feed().print().tempo, 90);
  // Live's tempo wins; a minute at 60 BPM holds 15 bars although the grid's
  // 2 s bars would allow 30: the new source stays within 60 s.
  live.grid().setGridTempo(120);
  live.grid().setLiveTempo(60);
  live.feed().armPrint(40, false, false);
  EXPECT_EQ(live.feed().print().tempo, 60);
  EXPECT_EQ(live.feed().print().bars, 15);
  live.grid().onBar();
  EXPECT_EQ(live.feed().print().targetFrames, 2'880'000);
}

TEST_F(CaptureTest, RecordingStartsAtTheNextBarLineOnTheSnappedPlayHead) {
  barsPass(6);
  streaming(32);
  live.feed().setMode(FeedMode::Stream);
  reportPlayHead(5.1);
  live.feed().armPrint(4, false, false);
  // Audio before the bar line belongs to the stream, not the print.
  capture(0, 9600);
  EXPECT_EQ(writes().size(), 1u);
  EXPECT_TRUE((live.feed().memory().printSize == 0));

  live.grid().onBar();
  EXPECT_EQ(live.feed().print().state, RecordState::Recording);
  EXPECT_EQ(statuses().back(), "printing 4 bars");
  EXPECT_EQ(live.feed().print().targetFrames, 384'000);
  EXPECT_EQ(live.feed().print().startBar, 7);
  EXPECT_EQ(live.feed().print().startPosition, 6.0);
  EXPECT_EQ(live.feed().framesWaiting(), 0u);

  // While the print records, the stream hears nothing.
  recorder.clear();
  capture(0, 20000);
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(live.feed().print().capturedFrames, 20000);
}

TEST_F(CaptureTest, APrintWhileNotPlayingBecomesASourceOfSevenRepetitions) {
  live.feed().setMode(FeedMode::Stream);
  live.grid().setLiveTempo(120);
  barsPass(11);
  live.feed().armPrint(4, false, false);
  live.grid().onBar();
  EXPECT_EQ(live.feed().print().targetFrames, 384'000);
  capture(0, 383'999);
  EXPECT_TRUE(live.feed().print().active);
  EXPECT_TRUE(started.empty());
  // The frame that reaches the target finishes the print, however far it
  // passes it: the print is the first 384,000 frames.
  capture(383'999, 10'000, 10'000);
  EXPECT_FALSE(live.feed().print().active);
  EXPECT_EQ(statuses().back(), "printed 4 bars");

  const std::vector<float> source = newSource();
  EXPECT_EQ(source.size(), 2'688'000u * 2);
  EXPECT_TRUE(source == repeated(384'000, 7));
  EXPECT_EQ(started[0].tempo, 120);
  EXPECT_EQ(captureFlags().back(), true);  // "stream" keeps capturing

  // The print defines the session grid and the new source's tempo.
  EXPECT_EQ(live.grid().gridTempo(), 120.0);
  EXPECT_EQ(live.feed().sourceTempo(), 120);
  EXPECT_TRUE(live.grid().resume().valid);
  EXPECT_EQ(live.grid().resume().bar, 12);
  EXPECT_EQ(live.grid().resume().position, 0.0);
  EXPECT_EQ(live.feed().printPeriod(), 8.0);
  EXPECT_TRUE((live.feed().memory().printSize == 0));
  // Its bars become the loop of the coming stream.
  ASSERT_TRUE(live.feed().pendingLoopBars().has_value());
  EXPECT_EQ(*live.feed().pendingLoopBars(), 4);
  live.readiness().apply({56, 0.0, std::nullopt, std::nullopt});
  live.playback().start(2, 0);
  EXPECT_EQ(live.grid().loopStartBar(), 0);
  EXPECT_EQ(live.grid().loopLength(), 4);
  EXPECT_FALSE(live.feed().pendingLoopBars().has_value());
}

// A print re-armed while it records starts again: the audio of the first
// attempt is not part of it.
TEST_F(CaptureTest, ARePrintDropsTheAudioOfTheAttemptBefore) {
  live.grid().setLiveTempo(120);
  live.feed().armPrint(1, false, false);
  live.grid().onBar();
  capture(0, 48'000);  // half of the first attempt's bar
  live.feed().armPrint(1, false, false);
  EXPECT_TRUE((live.feed().memory().printSize == 0));
  live.grid().onBar();
  capture(500'000, 96'000);
  const std::vector<float> source = newSource();
  ASSERT_GE(source.size(), 96'000u * 2);
  const std::vector<float> second = testing::capturedAudio(500'000, 96'000);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), source.begin()));
}

TEST_F(CaptureTest, ACanvasPrintThatTilesTheSourceFillsIt) {
  streaming(32);
  reportPlayHead(4.0);
  live.feed().armPrint(4, false, false);
  live.grid().onBar();
  capture(0, 384'000);

  const std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].at, 4.0);
  EXPECT_EQ(ws[0].mix, "replace");
  EXPECT_EQ(ws[0].repeat, "fill");
  EXPECT_EQ(ws[0].epoch, 3.0);
  EXPECT_EQ(ws[0].frames, 384'000u);
  EXPECT_TRUE(ws[0].samples == capturedAudio(0, 384'000));
  EXPECT_TRUE(started.empty());
  // The print's bars become the loop at once.
  EXPECT_EQ(live.grid().loopLength(), 4);
  EXPECT_EQ(live.grid().loopStartBar(), 0);
  EXPECT_EQ(recorder.with("ui:section").size(), 1u);
  EXPECT_EQ(live.feed().printPeriod(), 8.0);
}

TEST_F(CaptureTest, AFixedPrintFillsOnlyAWholeNumberOfTimesAndOtherwiseReplacesItsBars) {
  // 32 s / 8 s = 4: a fill, and the grid resumes from the print's start.
  barsPass(20);
  streaming(32);
  reportPlayHead(12.2);
  live.feed().armPrint(4, true, false);
  live.grid().onBar();
  capture(0, 384'000);
  std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].repeat, "fill");
  EXPECT_EQ(live.grid().resume().bar, 21);
  EXPECT_EQ(live.grid().resume().position, 12.0);
  EXPECT_EQ(live.grid().loopStartBar(), -1);  // a fixed print leaves the loop alone

  // 30 s / 8 s = 3.75: the print replaces its own bars; no new source, the
  // grid stays as it was.
  recorder.clear();
  streaming(30);
  live.feed().setPrintPeriod(std::nullopt);
  reportPlayHead(12.2);
  live.feed().armPrint(4, true, false);
  live.grid().onBar();
  capture(0, 384'000);
  ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].at, 12.0);
  EXPECT_EQ(ws[0].mix, "replace");
  EXPECT_EQ(ws[0].repeat, "");
  EXPECT_EQ(ws[0].epoch, 3.0);
  EXPECT_TRUE(ws[0].samples == capturedAudio(0, 384'000));
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(live.feed().printPeriod());
  // The same at Live's 100 BPM (9.6 s, ratio 3.125): the grid keeps its 120.
  live.grid().setLiveTempo(100);
  live.feed().armPrint(4, true, false);
  live.grid().onBar();
  capture(0, 460'800);
  EXPECT_EQ(writes().size(), 2u);
  EXPECT_EQ(live.grid().gridTempo(), 120.0);

  // A canvas print needs no whole number: 30 s over 9.6 s fills.
  recorder.clear();
  live.feed().armPrint(4, false, false);
  live.grid().onBar();
  capture(0, 460'800);
  ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].repeat, "fill");
}

TEST_F(CaptureTest, APrintLongerThanTheSourceBecomesANewSource) {
  streaming(6);
  live.feed().armPrint(4, false, false);
  live.grid().onBar();
  capture(0, 384'000);
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(newSource().size(), 384'000u * 7 * 2);
}

TEST_F(CaptureTest, TheNewSourceRepeatsThePrintWithinTheSourceCap) {
  live.grid().setLiveTempo(120);
  live.feed().setMaxSourceFrames(1'000'000);
  live.feed().armPrint(4, false, false);  // 384,000 frames
  live.grid().onBar();
  capture(0, 384'000);
  EXPECT_TRUE(newSource() == repeated(384'000, 2));

  // A cap below one print (or none at all) still gives the print once.
  for (const std::int64_t cap : {100'000, 0, -1}) {
    live.feed().setMaxSourceFrames(cap);
    recorder.clear();
    started.clear();
    live.feed().armPrint(4, false, false);
    live.grid().onBar();
    capture(0, 384'000);
    EXPECT_TRUE(newSource() == repeated(384'000, 1)) << cap;
  }
}

TEST_F(CaptureTest, TheFixedRenderBackendRepeatsShortPrintsToFiveAndAHalfSeconds) {
  live.grid().setBackend("sa3");
  live.feed().armPrint(2, false, false);  // 4 s at 120 BPM
  live.grid().onBar();
  capture(0, 192'000);
  EXPECT_TRUE(newSource() == repeated(192'000, 2));  // ceil(5.5 / 4)
  EXPECT_EQ(live.grid().loopStartBar(), 0);
  EXPECT_EQ(live.grid().loopLength(), 4);
  EXPECT_FALSE(live.feed().pendingLoopBars().has_value());

  // 8 s is long enough by itself; even a fixed print while playing becomes a
  // new source (the backend renders only whole sources).
  recorder.clear();
  started.clear();
  streaming(30);
  live.feed().armPrint(4, true, false);
  live.grid().onBar();
  capture(0, 384'000);
  EXPECT_TRUE(writes().empty());
  EXPECT_TRUE(newSource() == repeated(384'000, 1));
  EXPECT_EQ(live.grid().loopLength(), 4);
}

TEST_F(CaptureTest, LeavingTheFixedModeCancelsAFixedPrintOnly) {
  live.feed().setMode(FeedMode::Fixed);
  live.feed().armPrint(4, true, false);
  live.grid().onBar();
  capture(0, 1000);
  live.feed().setMode(FeedMode::Stream);
  EXPECT_FALSE(live.feed().print().active);
  EXPECT_TRUE((live.feed().memory().printSize == 0));

  live.feed().armPrint(4, false, false);
  live.feed().setMode(FeedMode::Off);
  EXPECT_TRUE(live.feed().print().active);
  // Capture stays on for the print's sake, and only until it finishes.
  EXPECT_EQ(captureFlags().back(), true);
  live.grid().onBar();
  capture(0, 384'000);
  EXPECT_FALSE(live.feed().print().active);
  EXPECT_EQ(captureFlags().back(), false);
  live.feed().setMode(FeedMode::Off);
  EXPECT_EQ(captureFlags().back(), false);
}

TEST_F(CaptureTest, ASpliceRecordsItsBarsAndWritesThemWhereItStarted) {
  streaming(32);
  live.feed().setMode(FeedMode::Splice);
  live.feed().setMix(FeedMix::parse("add"));
  reportPlayHead(9.1);
  live.feed().armSplice(2);
  capture(0, 1000);  // armed, not yet recording: ignored
  live.grid().onBar();
  EXPECT_EQ(live.feed().splice().state, RecordState::Recording);
  EXPECT_EQ(live.feed().splice().targetFrames, 192'000);
  capture(0, 191'999);
  EXPECT_TRUE(writes().empty());
  capture(191'999, 10'001);

  const std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].at, 10.0);
  EXPECT_EQ(ws[0].mix, "add");
  EXPECT_EQ(ws[0].epoch, 3.0);
  EXPECT_EQ(ws[0].frames, 192'000u);
  EXPECT_TRUE(ws[0].samples == capturedAudio(0, 192'000));
  EXPECT_FALSE(live.feed().splice().state.has_value());
  EXPECT_EQ(live.feed().framesWaiting(), 0u);

  // A mix word the device does not know reaches the server unchanged.
  recorder.clear();
  live.feed().setMix(FeedMix::parse("crossfade"));
  live.feed().armSplice(1);
  live.grid().onBar();
  capture(0, 96'000);
  ASSERT_EQ(writes().size(), 1u);
  EXPECT_EQ(writes()[0].mix, "crossfade");

  // At least one bar; leaving the mode cancels an armed splice.
  live.feed().armSplice(0);
  EXPECT_EQ(live.feed().splice().bars, 1);
  live.feed().setMode(FeedMode::Stream);
  EXPECT_FALSE(live.feed().splice().state.has_value());
}

}  // namespace
}  // namespace omber::live

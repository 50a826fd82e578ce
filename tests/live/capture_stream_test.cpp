// Feed modes, stream pieces and the automatic mode on a live audio path: what
// the feeders are told, which "write_audio" commands leave and where, what
// back-pressure may drop, and that an hour of streaming holds no more memory
// than a few pieces.
#include <algorithm>
#include <cmath>

#include "live/capture_fixture.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::AudioWrite;
using testing::CaptureTest;
using testing::capturedAudio;

TEST_F(CaptureTest, FeedModesTurnTheFeedersOnUnlessOff) {
  for (const char* mode : {"stream", "splice", "auto", "fixed", "anything", ""})
    live.feed().setMode(parseFeedMode(mode));
  live.feed().setMode(FeedMode::Off);
  EXPECT_EQ(captureFlags(), (std::vector<bool>{true, true, true, true, true, true, false}));

  // Nothing is collected unless the session is ready and a stream plays.
  live.feed().setMode(FeedMode::Stream);
  live.readiness().apply({});
  capture(0, 20'000);
  EXPECT_EQ(live.feed().framesWaiting(), 0u);
  EXPECT_TRUE(writes().empty());

  // A mode change clears the collected audio and the automatic bookkeeping.
  streaming(16);
  live.feed().setMode(FeedMode::Stream);
  capture(0, 12000);
  ASSERT_EQ(live.feed().streamedFrames(), 2400);
  ASSERT_TRUE(live.feed().streamPositionValid());
  live.feed().setMode(FeedMode::Auto);
  EXPECT_EQ(live.feed().framesWaiting(), 0u);
  EXPECT_EQ(live.feed().streamedFrames(), 0);
  EXPECT_FALSE(live.feed().streamPositionValid());
  live.grid().onBar();  // the automatic mode collects from this bar on
  capture(12000, 1000);
  ASSERT_TRUE(live.feed().autoCollecting());
  ASSERT_EQ(live.feed().barPositions().size(), 1u);
  ASSERT_EQ(live.feed().framesWaiting(), 1000u);
  live.feed().setMode(FeedMode::Stream);
  EXPECT_EQ(live.feed().framesWaiting(), 0u);
  EXPECT_FALSE(live.feed().autoCollecting());
  EXPECT_TRUE(live.feed().barPositions().empty());
}

TEST_F(CaptureTest, StreamModeSendsAPieceForEvery9600Frames) {
  streaming(16);
  live.feed().setMode(FeedMode::Stream);
  capture(0, 25'000, 25'000);

  const std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 2u);
  EXPECT_EQ(positionsOf(ws), (std::vector<double>{0.0, 0.2}));
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(ws[i].frames, 9600u);
    EXPECT_EQ(ws[i].channels, 2u);
    EXPECT_EQ(ws[i].mix, "replace");
    EXPECT_EQ(ws[i].repeat, "");
    EXPECT_EQ(ws[i].epoch, 3.0);
    EXPECT_TRUE(ws[i].samples == capturedAudio(i * 9600, 9600)) << i;
  }
  EXPECT_EQ(live.feed().streamedFrames(), 5800);
  EXPECT_EQ(live.feed().framesWaiting(), 5800u);

  // The waiting frames lead the next piece.
  recorder.clear();
  capture(25'000, 3'800, 3'800);
  ASSERT_EQ(writes().size(), 1u);
  EXPECT_TRUE(writes()[0].samples == capturedAudio(19'200, 9600));
  EXPECT_EQ(live.feed().framesWaiting(), 0u);
}

TEST_F(CaptureTest, StreamPiecesCycleThroughTheLoopRegion) {
  streaming(16);
  live.grid().setLoopStart(1);
  live.grid().setLoopLength(1);  // 2 s to 4 s
  live.feed().setMode(FeedMode::Stream);
  capture(0, 9600 * 11, 9600);
  const std::vector<double> at = positionsOf(writes());
  ASSERT_EQ(at.size(), 11u);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_NEAR(at[i], 2.0 + 0.2 * static_cast<double>(i), 1e-9) << i;
  EXPECT_EQ(at[10], 2.0);

  // From the top of the buffer, ten pieces add up a hair short of 2 s; the
  // eleventh still starts the cycle again instead of spilling past the end.
  recorder.clear();
  live.grid().setLoopStart(0);
  live.feed().setMode(FeedMode::Stream);
  capture(0, 9600 * 11, 9600);
  EXPECT_EQ(positionsOf(writes()).back(), 0.0);

  // A new generation invalidates the position: the next piece starts at the
  // region's start.
  recorder.clear();
  live.playback().swapGeneration(2, 3);
  capture(0, 9600);
  EXPECT_EQ(positionsOf(writes()), std::vector<double>{0.0});
}

TEST_F(CaptureTest, StreamPiecesGiveWayToBackPressureButKeepTheirPlace) {
  streaming(16);
  live.feed().setMode(FeedMode::Stream);
  buffered = 1'000'000;  // a piece is about 77 kB: the gate refuses
  capture(0, 9600 * 3, 9600);
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(live.feed().framesWaiting(), 0u);

  buffered = 0;
  capture(9600 * 3, 9600);
  const std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_NEAR(*ws[0].at, 0.6, 1e-9);
  EXPECT_TRUE(ws[0].samples == capturedAudio(9600 * 3, 9600));
}

TEST_F(CaptureTest, APieceWhoseAudioWasClearedIsSentSilent) {
  streaming(16);
  live.feed().setMode(FeedMode::Stream);
  capture(0, 5000);
  live.feed().dropCollected();  // a section change empties the buffer
  capture(5000, 4600);
  const std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].frames, 9600u);
  EXPECT_TRUE(std::all_of(ws[0].samples.begin(), ws[0].samples.end(), [](float s) { return s == 0.0f; }));
  EXPECT_EQ(live.feed().framesWaiting(), 0u);
  EXPECT_NEAR(live.feed().streamPosition(), 0.2, 1e-9);
}

// An hour of streaming, fed as fast as the test can in the chunk sizes a
// feeder sends (up to one second, its largest upload). The capture buffer
// never holds more than what waits for the next piece plus what was consumed
// since its last compaction, so its capacity stays below
// 2 x (2 x 19,200 + 2 x 48,000) = 268,800 samples (1.05 MiB).
TEST(CaptureMemory, AnHourOfStreamingKeepsTheCaptureBufferBounded) {
  std::uint64_t pieces = 0;
  RealTransport transport([&pieces](const std::string& selector, const Atoms& atoms) {
    if (selector == "ws:send" && atoms[0].bytes.size() > 8 && atoms[0].bytes[0] == '{') ++pieces;
  });
  LiveAudioPath live;
  live.transport = &transport;
  live.readiness().apply({30, 0.0, std::nullopt, std::nullopt});
  live.playback().start(2, 0);
  pieces = 0;  // the loop band of the stream start
  live.feed().setMode(FeedMode::Stream);

  const std::uint64_t chunks[] = {480, 1000, 48'000, 4096, 127};
  const std::vector<float> audio = capturedAudio(0, 48'000);
  const std::uint64_t hour = 3600 * 48'000;
  std::uint64_t fed = 0;
  std::size_t largest = 0;
  for (std::size_t i = 0; fed < hour; ++i) {
    const std::uint64_t n = std::min(chunks[i % 5], hour - fed);
    EXPECT_FALSE(live.feed().intake(n, audio.data()));
    fed += n;
    largest = std::max(largest, live.feed().memory().captureCapacity);
  }
  EXPECT_EQ(pieces, hour / 9600);
  EXPECT_EQ(live.feed().framesWaiting(), 0u);
  EXPECT_LE(largest, 268'800u);
}

class AutoModeTest : public CaptureTest {
 protected:
  void SetUp() override {
    // No drift correction: the play heads set here are the ones recorded.
    streaming(32, false);
    live.feed().setMode(FeedMode::Auto);
  }
  static constexpr std::uint64_t kBar = 96'000;  // frames at 120 BPM
};

TEST_F(AutoModeTest, EachBarIsWrittenWhereItWasPlayed) {
  reportPlayHead(10.3);
  capture(0, 5000);  // before the first bar line: not collecting
  live.grid().onBar();
  EXPECT_TRUE(live.feed().autoCollecting());
  EXPECT_EQ(live.feed().barPositions(), std::vector<double>{10.0});
  live.feed().setMix(FeedMix::parse("add"));
  capture(0, kBar - 1, 20'000);
  EXPECT_TRUE(writes().empty());
  capture(kBar - 1, 1);
  const std::vector<AudioWrite> ws = writes();
  ASSERT_EQ(ws.size(), 1u);
  EXPECT_EQ(ws[0].at, 10.0);
  EXPECT_EQ(ws[0].mix, "add");
  EXPECT_EQ(ws[0].epoch, 3.0);
  EXPECT_EQ(ws[0].frames, kBar);
  EXPECT_TRUE(ws[0].samples == capturedAudio(0, kBar));
  // No position waits for the next bar of audio: the collection starts over.
  recorder.clear();
  capture(kBar, kBar);
  EXPECT_TRUE(writes().empty());
  EXPECT_FALSE(live.feed().autoCollecting());
}

TEST_F(AutoModeTest, WithAPrintPeriodABarRepeatsThroughTheSource) {
  live.feed().setPrintPeriod(8);
  reportPlayHead(10);
  live.grid().onBar();
  reportPlayHead(12);
  live.grid().onBar();
  capture(0, 2 * kBar);
  std::vector<AudioWrite> ws = writes();
  // 10 s lies 2 s into the period: 2, 10, 18 and 26 (a bar at 34 would end
  // past the 32 s source); the next bar, 12 s, at 4, 12, 20 and 28.
  EXPECT_EQ(positionsOf(ws), (std::vector<double>{2, 10, 18, 26, 4, 12, 20, 28}));
  EXPECT_TRUE(ws[1].samples == capturedAudio(0, kBar));
  EXPECT_TRUE(ws[5].samples == capturedAudio(kBar, kBar));

  // Under back-pressure only the first write of each bar may be skipped. The
  // bar at 30 ends exactly at the end of the source and is written.
  recorder.clear();
  buffered = 1'000'000;
  reportPlayHead(14);
  live.grid().onBar();
  capture(0, kBar);
  ws = writes();
  EXPECT_EQ(positionsOf(ws), (std::vector<double>{14, 22, 30}));
}

TEST_F(AutoModeTest, AudioThatFallsMoreThanFourBarsBehindIsDropped) {
  for (int i = 0; i < 5; ++i) {
    reportPlayHead(2.0 * i);
    live.grid().onBar();
  }
  // The fifth waiting bar dropped them all.
  EXPECT_TRUE(live.feed().barPositions().empty());
  EXPECT_FALSE(live.feed().autoCollecting());
  capture(0, kBar);
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(live.feed().framesWaiting(), 0u);

  // The next bar starts a fresh collection.
  reportPlayHead(20);
  live.grid().onBar();
  capture(0, kBar);
  EXPECT_EQ(positionsOf(writes()), std::vector<double>{20});
}

TEST_F(AutoModeTest, TheFixedRenderBackendPrintsTheLoopQuietly) {
  live.grid().setBackend("sa3");
  live.grid().setLoopLength(2);
  live.feed().setMode(FeedMode::Off);  // ten quiet bars before the stream starts
  barsPass(10);
  live.feed().setMode(FeedMode::Auto);
  live.grid().streamStarted();
  recorder.clear();
  live.grid().onBar();
  EXPECT_FALSE(live.feed().print().active);
  live.grid().onBar();  // two bars since the stream started
  EXPECT_TRUE(live.feed().print().active);
  EXPECT_TRUE(live.feed().print().quiet);
  EXPECT_FALSE(live.feed().print().fixed);
  EXPECT_EQ(live.feed().print().bars, 2);
  EXPECT_EQ(captureFlags().back(), true);
  live.grid().onBar();
  EXPECT_EQ(live.feed().print().state, RecordState::Recording);
  capture(0, 2 * kBar);
  EXPECT_FALSE(live.feed().print().active);
  EXPECT_TRUE(statuses().empty());
  // 4 s repeated to at least 5.5 s; the loop covers both repetitions.
  std::vector<float> twice = capturedAudio(0, 2 * kBar);
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_TRUE(newSource() == twice);
  EXPECT_EQ(live.grid().loopStartBar(), 0);
  EXPECT_EQ(live.grid().loopLength(), 4);

  // The stream of the new source starts at bar 13: the next automatic print
  // waits a loop length from there, not from the previous print at bar 12.
  ASSERT_EQ(live.grid().barCounter(), 13);
  live.grid().streamStarted();
  live.grid().setLoopLength(2);
  live.grid().onBar();
  EXPECT_FALSE(live.feed().print().active);
  live.grid().onBar();
  EXPECT_TRUE(live.feed().print().active);
}

}  // namespace
}  // namespace omber::live

// Prints and splices: bar-exact recordings of the feeders' audio. A print
// replaces part of the current source, fills the whole source, or becomes a
// new source returned to the engine for its start-from-audio upload; a splice is written back
// into the source where it was recorded.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/base/number_text.h"
#include "core/live/live_audio_path.h"

namespace omber::live {
using namespace omber::base;
namespace {

// No print is longer than a minute (nor, by default, a source made of
// repeated prints: maxSourceFrames).
constexpr double kMaxPrintSeconds = 60.0;
// The fixed-render backend needs a source of at least this many seconds.
constexpr double kMinFixedRenderSeconds = 5.5;
// A source this close to a whole number of prints counts as one.
constexpr double kRatioTolerance = 0.000001;

// "1 bar", "4 bars".
std::string barsText(std::int32_t bars) { return std::to_string(bars) + (bars == 1 ? " bar" : " bars"); }

// Frames in a span of seconds, rounded; never below one, saturating for
// absurd tempos rather than overflowing.
std::int64_t framesIn(double seconds) {
  return std::max<std::int64_t>(truncateToInt64(std::floor(seconds * kCaptureRate + 0.5)), 1);
}

// The requested bar count truncated toward zero; not-a-number and the
// infinities count as 0.
std::int32_t requestedBars(double bars) { return std::isfinite(bars) ? truncateToInt32(bars) : 0; }

}  // namespace

void FeedCapture::armPrint(double bars, bool fixed, bool quiet) {
  if (live_.playback().playing() && print_.active) return;
  const std::optional<double> liveTempo = live_.grid().liveTempo();
  const double tempo = liveTempo && *liveTempo > 0 ? *liveTempo : live_.grid().gridTempoInUse();
  live_.transport->emitGridBpm(tempo);
  // Bars are counted at the print's own tempo, which is what its length is
  // measured in: the cap holds even when Live and the session grid disagree.
  const double printBar = live_.grid().beatsPerBar() * 60.0 / tempo;
  const std::int32_t fit = std::max(truncateToInt32(std::floor(kMaxPrintSeconds / printBar + 0.000000001)), 1);

  print_ = PrintJob{};
  print_.state = RecordState::Armed;
  print_.bars = std::min(std::max(requestedBars(bars), 1), fit);
  print_.tempo = tempo;
  print_.fixed = fixed;
  print_.quiet = quiet;
  print_.active = true;
  // A print that was re-armed while recording must not keep its audio.
  printBuffer_.clear();

  // Audio is already flowing when the next bar line starts the recording.
  live_.playback().capture(true);
  if (!quiet) live_.transport->emitStatus("print armed \u2014 " + barsText(print_.bars) + " from next barline");
}

void FeedCapture::armSplice(double bars) {
  splice_.state = RecordState::Armed;
  splice_.bars = std::max(requestedBars(bars), 1);
}

void FeedCapture::barLinePrintStep() {
  if (splice_.state == RecordState::Armed) {
    splice_.state = RecordState::Recording;
    splice_.targetFrames = framesIn(splice_.bars * live_.grid().barLength());
    splice_.capturedFrames = 0;
    splice_.startPosition = live_.grid().snappedPosition(live_.playback().reportedPlayHead());
    clearCaptureBuffer();
  }
  if (print_.active && print_.state == RecordState::Armed) {
    print_.state = RecordState::Recording;
    if (!print_.quiet) live_.transport->emitStatus("printing " + barsText(print_.bars));
    print_.targetFrames = framesIn(print_.bars * (60.0 / print_.tempo * live_.grid().beatsPerBar()));
    print_.capturedFrames = 0;
    print_.startPosition =
        live_.playback().playing() ? live_.grid().snappedPosition(live_.playback().reportedPlayHead()) : 0.0;
    print_.startBar = live_.grid().barCounter();
    clearAutoBookkeeping();
    clearCaptureBuffer();
    printBuffer_.clear();
    printBuffer_.reserve(
        static_cast<std::size_t>(std::min(print_.targetFrames, std::max<std::int64_t>(maxSourceFrames_, 1))) * 2);
  }
}

void FeedCapture::setPrintPeriod(std::optional<double> seconds) {
  printPeriod_ = seconds.value_or(0.0);
  printPeriodKnown_ = seconds.has_value();
}

std::optional<std::int32_t> FeedCapture::takePendingLoopBars() {
  std::optional<std::int32_t> bars = pendingLoopBars_;
  pendingLoopBars_.reset();
  return bars;
}

void FeedCapture::finishSplice() {
  splice_.state.reset();
  const std::int64_t frames = splice_.targetFrames;
  WriteAudioRequest request;
  request.at = splice_.startPosition;
  request.mix = mix_.text();
  request.sourceEpoch = live_.playback().generation();
  live_.transport->sendWriteAudio(waitingSamples(static_cast<std::size_t>(frames) * 2),
                                  static_cast<std::uint64_t>(frames), 2, request, std::nullopt);
  clearCaptureBuffer();
}

std::optional<NewSource> FeedCapture::finishPrint() {
  // Taken out of the live path before the first outlet call: a callback that
  // dispatches again (a new arm, a feed change) cannot touch this print.
  const PrintJob done = print_;
  std::vector<float> printed;
  printed.swap(printBuffer_);
  print_.active = false;
  print_.feeder.reset();
  live_.playback().capture(mode_ != FeedMode::Off);
  if (!done.quiet) live_.transport->emitStatus("printed " + barsText(done.bars));

  // The print is its first target frames; the frame that reached the target
  // may have carried more.
  const std::int64_t frames = done.targetFrames;
  const float* audio = printed.data();
  const double seconds = static_cast<double>(frames) / kCaptureRate;
  const bool streaming = live_.playback().playing() && live_.readiness().ready();
  const double ratio = streaming ? live_.readiness().sourceDuration() / seconds : 0.0;
  const bool sa3 = live_.grid().fixedRender();
  // The print tiles the source exactly.
  const bool fill = streaming && !sa3 && ratio >= 1.0 - kRatioTolerance &&
                    (!done.fixed || std::fabs(ratio - std::round(ratio)) < kRatioTolerance);

  WriteAudioRequest request;
  request.at = done.startPosition;
  request.mix = "replace";
  request.sourceEpoch = live_.playback().generation();

  if (done.fixed && streaming && !fill && !sa3) {
    // A fixed print that does not tile the source replaces its own bars only.
    live_.transport->sendWriteAudio(audio, static_cast<std::uint64_t>(frames), 2, request, std::nullopt);
    return std::nullopt;
  }

  // The print defines the session grid.
  BarGrid& grid = live_.grid();
  grid.setGridTempo(done.tempo);
  sourceTempo_ = done.tempo;
  grid.resumeAt(done.startBar, fill ? done.startPosition : 0.0);
  setPrintPeriod(seconds);

  if (fill) {
    request.repeat = "fill";
    live_.transport->sendWriteAudio(audio, static_cast<std::uint64_t>(frames), 2, request, std::nullopt);
    if (!done.fixed && grid.loopStartBar() < 0) {
      grid.setLoopLength(done.bars);
      grid.applySection(0);
    }
    return std::nullopt;
  }

  std::int64_t repetitions;
  if (sa3) {
    repetitions = seconds < kMinFixedRenderSeconds ? truncateToInt64(std::ceil(kMinFixedRenderSeconds / seconds)) : 1;
    grid.setLoopStart(0);
    grid.setLoopLength(std::max(roundToInt32(static_cast<double>(repetitions) * done.bars), 1));
  } else {
    repetitions = std::max<std::int64_t>(maxSourceFrames_ / frames, 1);
    // The next stream loops the print's bars.
    if (!done.fixed) loopNextStreamOver(done.bars);
  }

  // The new source: the print repeated cyclically.
  const std::size_t printSamples = static_cast<std::size_t>(frames) * 2;
  std::vector<float> source(printSamples * static_cast<std::size_t>(repetitions));
  for (std::int64_t i = 0; i < repetitions; ++i) {
    std::copy(audio, audio + printSamples, source.begin() + static_cast<std::ptrdiff_t>(i * printSamples));
  }
  return NewSource{std::move(source), 2, done.tempo};
}

}  // namespace omber::live

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

void LiveAudioPath::armPrint(double bars, bool fixed, bool quiet) {
  if (playing && print.active) return;
  const double tempo = liveTempoKnown && liveTempo > 0 ? liveTempo : gridTempoInUse();
  transport->emitGridBpm(tempo);
  // Bars are counted at the print's own tempo, which is what its length is
  // measured in: the cap holds even when Live and the session grid disagree.
  const double printBar = beatsPerBar() * 60.0 / tempo;
  const std::int32_t fit = std::max(truncateToInt32(std::floor(kMaxPrintSeconds / printBar + 0.000000001)), 1);

  print = PrintJob{};
  print.state = RecordState::Armed;
  print.bars = std::min(std::max(requestedBars(bars), 1), fit);
  print.tempo = tempo;
  print.fixed = fixed;
  print.quiet = quiet;
  print.active = true;
  // A print that was re-armed while recording must not keep its audio.
  printBuffer.clear();

  // Audio is already flowing when the next bar line starts the recording.
  capture(true);
  if (!quiet) transport->emitStatus("print armed \u2014 " + barsText(print.bars) + " from next barline");
}

void LiveAudioPath::armSplice(double bars) {
  splice.state = RecordState::Armed;
  splice.bars = std::max(requestedBars(bars), 1);
}

void LiveAudioPath::barLinePrintStep() {
  if (splice.state == RecordState::Armed) {
    splice.state = RecordState::Recording;
    splice.targetFrames = framesIn(splice.bars * barLength());
    splice.capturedFrames = 0;
    splice.startPosition = snappedPosition(reportedPlayHead);
    clearCaptureBuffer();
  }
  if (print.active && print.state == RecordState::Armed) {
    print.state = RecordState::Recording;
    if (!print.quiet) transport->emitStatus("printing " + barsText(print.bars));
    print.targetFrames = framesIn(print.bars * (60.0 / print.tempo * beatsPerBar()));
    print.capturedFrames = 0;
    print.startPosition = playing ? snappedPosition(reportedPlayHead) : 0.0;
    print.startBar = barCounter;
    clearAutoBookkeeping();
    clearCaptureBuffer();
    printBuffer.clear();
    printBuffer.reserve(static_cast<std::size_t>(std::min(print.targetFrames, std::max<std::int64_t>(maxSourceFrames, 1))) * 2);
  }
}

void LiveAudioPath::finishSplice() {
  splice.state.reset();
  const std::int64_t frames = splice.targetFrames;
  WriteAudioRequest request;
  request.at = splice.startPosition;
  request.mix = feedMixMode.text();
  request.sourceEpoch = generation;
  const bool whole = captureFramesWaiting() >= static_cast<std::uint64_t>(frames);
  transport->sendWriteAudio(whole ? captureBuffer.data() + captureReadIndex : nullptr,
                            static_cast<std::uint64_t>(frames), 2, request, std::nullopt);
  clearCaptureBuffer();
}

std::optional<NewSource> LiveAudioPath::finishPrint() {
  // Taken out of the live path before the first outlet call: a callback that
  // dispatches again (a new arm, a feed change) cannot touch this print.
  const PrintJob done = print;
  std::vector<float> printed;
  printed.swap(printBuffer);
  print.active = false;
  print.feeder.reset();
  capture(feedMode != FeedMode::Off);
  if (!done.quiet) transport->emitStatus("printed " + barsText(done.bars));

  // The print is its first target frames; the frame that reached the target
  // may have carried more.
  const std::int64_t frames = done.targetFrames;
  const float* audio = printed.data();
  const double seconds = static_cast<double>(frames) / kCaptureRate;
  const bool streaming = playing && ready;
  const double ratio = streaming ? sourceDuration / seconds : 0.0;
  const bool sa3 = backendName == "sa3";
  // The print tiles the source exactly.
  const bool fill = streaming && !sa3 && ratio >= 1.0 - kRatioTolerance &&
                    (!done.fixed || std::fabs(ratio - std::round(ratio)) < kRatioTolerance);

  WriteAudioRequest request;
  request.at = done.startPosition;
  request.mix = "replace";
  request.sourceEpoch = generation;

  if (done.fixed && streaming && !fill && !sa3) {
    // A fixed print that does not tile the source replaces its own bars only.
    transport->sendWriteAudio(audio, static_cast<std::uint64_t>(frames), 2, request, std::nullopt);
    return std::nullopt;
  }

  // The print defines the session grid.
  gridTempo = done.tempo;
  gridTempoKnown = true;
  sourceTempo = done.tempo;
  resume = ResumePoint{done.startBar, fill ? done.startPosition : 0.0, true};
  printPeriod = seconds;
  printPeriodKnown = true;

  if (fill) {
    request.repeat = "fill";
    transport->sendWriteAudio(audio, static_cast<std::uint64_t>(frames), 2, request, std::nullopt);
    if (!done.fixed && loopStartBar < 0) {
      loopLength = done.bars;
      applySection(0, false);
    }
    return std::nullopt;
  }

  std::int64_t repetitions;
  if (sa3) {
    repetitions = seconds < kMinFixedRenderSeconds
                      ? truncateToInt64(std::ceil(kMinFixedRenderSeconds / seconds))
                      : 1;
    loopStartBar = 0;
    loopLength = std::max(roundToInt32(static_cast<double>(repetitions) * done.bars), 1);
  } else {
    repetitions = std::max<std::int64_t>(maxSourceFrames / frames, 1);
    // The next stream loops the print's bars.
    if (!done.fixed) pendingLoopBars = done.bars;
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

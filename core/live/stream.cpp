// The feeders' audio written continuously into the current source: stream
// pieces of 0.2 s, and the automatic mode's bar-aligned writes (or, for the
// fixed-render backend, its periodic quiet prints).
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/base/number_text.h"
#include "core/live/live_audio_path.h"

namespace omber::live {
using namespace omber::base;
namespace {

constexpr std::int64_t kPieceFrames = 9600;
constexpr double kPieceSeconds = 0.2;
// More bar positions waiting than this means the audio stopped keeping up
// with the bar lines: the collection starts again.
constexpr std::size_t kMaxWaitingBars = 4;
// A repeated bar may end this far past the source and still be written.
constexpr double kEndTolerance = 0.000001;
// Writes of one captured bar at most (the first and its repeats): a minute
// of one-bar periods at the fastest tempo is 250.
constexpr std::int64_t kMaxBarWrites = 256;
// Five pieces of 0.2 s added up fall a hair short of a second: a position
// this close to the region's end has reached it.
constexpr double kPositionTolerance = 0.000001;

// One piece at the stream position, then the position moves on 0.2 s (back
// to the region's start at its end) and the read index past the piece. The
// piece may be dropped under back-pressure; the position advances anyway,
// so the pieces after it still land where their audio belongs.
void sendStreamPiece(LiveAudioPath& live) {
  const LoopRegion region = live.loopRegion();
  if (!live.streamPositionValid || live.streamPosition < region.start ||
      live.streamPosition >= region.end - kPositionTolerance) {
    live.streamPosition = region.start;
    live.streamPositionValid = true;
  }
  constexpr std::size_t kPieceSamples = kPieceFrames * 2;
  const std::size_t waiting = static_cast<std::size_t>(live.captureFramesWaiting()) * 2;
  WriteAudioRequest request;
  request.at = live.streamPosition;
  request.mix = "replace";
  request.sourceEpoch = live.generation;
  live.transport->sendWriteAudio(waiting >= kPieceSamples ? live.captureBuffer.data() + live.captureReadIndex : nullptr,
                                 kPieceFrames, 2, request, true);
  live.consumeCapture(std::min(kPieceSamples, waiting));
  live.streamPosition += kPieceSeconds;
  if (live.streamPosition >= region.end - kPositionTolerance) live.streamPosition = region.start;
}

// One bar of captured audio recorded at position x. With a known print
// period the source repeats every period, so the bar goes to x's place in
// the first period and to every later repetition that still holds it. The
// repetitions are bounded by the source buffer the engine really holds (a
// server's claimed duration alone could ask for thousands of writes) and by
// kMaxBarWrites. The samples are the caller's copy: the outlet calls in
// between may change the capture buffer.
void writeAutoBar(LiveAudioPath& live, double x, const float* samples, std::uint64_t frames) {
  WriteAudioRequest request;
  request.mix = live.feedMixMode.text();
  request.sourceEpoch = live.generation;
  const double held = live.hasBuffer ? static_cast<double>(live.bufferFrames) / kCaptureRate : 0.0;
  const double duration = live.ready ? std::min(live.sourceDuration, held) : 0.0;
  const bool repeats = live.printPeriodKnown && live.printPeriod > 0 && duration > 0;
  const double first = repeats ? std::fmod(x, live.printPeriod) : x;
  // Only the first write may be dropped: the repeats keep the copies equal.
  request.at = first;
  live.transport->sendWriteAudio(samples, frames, 2, request, true);
  if (!repeats) return;
  const double bar = live.barLength();
  for (std::int64_t k = 1; k < kMaxBarWrites; ++k) {
    const double at = first + static_cast<double>(k) * live.printPeriod;
    if (!(at + bar <= duration + kEndTolerance)) break;
    request.at = at;
    live.transport->sendWriteAudio(samples, frames, 2, request, std::nullopt);
  }
}

}  // namespace

void LiveAudioPath::streamIntake(std::uint64_t frames, const float* samples) {
  appendCapture(samples, frames);
  streamedFrames += static_cast<std::int64_t>(frames);
  while (streamedFrames >= kPieceFrames) {
    streamedFrames -= kPieceFrames;
    sendStreamPiece(*this);
  }
}

void LiveAudioPath::autoIntake(std::uint64_t frames, const float* samples) {
  if (!autoCollecting) return;
  appendCapture(samples, frames);
  autoFrames += static_cast<std::int64_t>(frames);
  const std::int64_t barFrames = std::max<std::int64_t>(truncateToInt64(std::floor(barLength() * kCaptureRate + 0.5)), 1);
  while (autoFrames >= barFrames) {
    if (barPositions.empty()) {
      // Audio ran ahead of the bar lines: start again at the next bar.
      clearAutoBookkeeping();
      clearCaptureBuffer();
      return;
    }
    const double x = barPositions.front();
    barPositions.erase(barPositions.begin());
    const std::size_t barSamples = static_cast<std::size_t>(barFrames) * 2;
    const std::size_t waiting = static_cast<std::size_t>(captureFramesWaiting()) * 2;
    std::vector<float> bar;
    if (waiting >= barSamples) {
      const float* first = captureBuffer.data() + captureReadIndex;
      bar.assign(first, first + barSamples);
    }
    consumeCapture(std::min(barSamples, waiting));
    autoFrames -= barFrames;
    writeAutoBar(*this, x, bar.empty() ? nullptr : bar.data(), static_cast<std::uint64_t>(barFrames));
  }
}

void LiveAudioPath::barLineAutoStep() {
  if (feedMode != FeedMode::Auto || !playing || print.active) return;
  if (backendName == "sa3") {
    // The fixed-render backend re-renders from a quiet print of the loop
    // every loop length.
    const std::int32_t bars = loopLength == 0 ? 4 : std::max(loopLength, 1);
    const std::int64_t since = std::int64_t{barCounter} - std::max(startBar, lastAutoPrintBar);
    if (since < bars) return;
    lastAutoPrintBar = barCounter;
    armPrint(bars, false, true);
    return;
  }
  const double x = snappedPosition(reportedPlayHead);
  if (!autoCollecting) {
    // This bar's audio starts now: nothing older may lead it.
    clearCaptureBuffer();
    autoFrames = 0;
    barPositions.assign(1, x);
    autoCollecting = true;
    return;
  }
  barPositions.push_back(x);
  if (barPositions.size() > kMaxWaitingBars) {
    clearAutoBookkeeping();
    clearCaptureBuffer();
  }
}

}  // namespace omber::live

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

}  // namespace

// One piece at the stream position, then the position moves on 0.2 s (back
// to the region's start at its end) and the read index past the piece. The
// piece may be dropped under back-pressure; the position advances anyway,
// so the pieces after it still land where their audio belongs.
void FeedCapture::sendStreamPiece() {
  const LoopRegion region = live_.grid().loopRegion();
  if (!streamPositionValid_ || streamPosition_ < region.start || streamPosition_ >= region.end - kPositionTolerance) {
    streamPosition_ = region.start;
    streamPositionValid_ = true;
  }
  constexpr std::size_t kPieceSamples = kPieceFrames * 2;
  const std::size_t waiting = static_cast<std::size_t>(framesWaiting()) * 2;
  WriteAudioRequest request;
  request.at = streamPosition_;
  request.mix = "replace";
  request.sourceEpoch = live_.playback().generation();
  live_.transport->sendWriteAudio(waitingSamples(kPieceSamples), kPieceFrames, 2, request, true);
  consumeCapture(std::min(kPieceSamples, waiting));
  streamPosition_ += kPieceSeconds;
  if (streamPosition_ >= region.end - kPositionTolerance) streamPosition_ = region.start;
}

// One bar of captured audio recorded at position x. With a known print
// period the source repeats every period, so the bar goes to x's place in
// the first period and to every later repetition that still holds it. The
// repetitions are bounded by the source buffer the engine really holds (a
// server's claimed duration alone could ask for thousands of writes) and by
// kMaxBarWrites. The samples are the caller's copy: the outlet calls in
// between may change the capture buffer.
void FeedCapture::writeAutoBar(double x, const float* samples, std::uint64_t frames) {
  WriteAudioRequest request;
  request.mix = mix_.text();
  request.sourceEpoch = live_.playback().generation();
  const double held =
      live_.playback().hasBuffer() ? static_cast<double>(live_.playback().bufferFrames()) / kCaptureRate : 0.0;
  const double duration = live_.readiness().ready() ? std::min(live_.readiness().sourceDuration(), held) : 0.0;
  const bool repeats = printPeriodKnown_ && printPeriod_ > 0 && duration > 0;
  const double first = repeats ? std::fmod(x, printPeriod_) : x;
  // Only the first write may be dropped: the repeats keep the copies equal.
  request.at = first;
  live_.transport->sendWriteAudio(samples, frames, 2, request, true);
  if (!repeats) return;
  const double bar = live_.grid().barLength();
  for (std::int64_t k = 1; k < kMaxBarWrites; ++k) {
    const double at = first + static_cast<double>(k) * printPeriod_;
    if (!(at + bar <= duration + kEndTolerance)) break;
    request.at = at;
    live_.transport->sendWriteAudio(samples, frames, 2, request, std::nullopt);
  }
}

void FeedCapture::streamIntake(std::uint64_t frames, const float* samples) {
  appendCapture(samples, frames);
  streamedFrames_ += static_cast<std::int64_t>(frames);
  while (streamedFrames_ >= kPieceFrames) {
    streamedFrames_ -= kPieceFrames;
    sendStreamPiece();
  }
}

void FeedCapture::autoIntake(std::uint64_t frames, const float* samples) {
  if (!autoCollecting_) return;
  appendCapture(samples, frames);
  autoFrames_ += static_cast<std::int64_t>(frames);
  const std::int64_t barFrames =
      std::max<std::int64_t>(truncateToInt64(std::floor(live_.grid().barLength() * kCaptureRate + 0.5)), 1);
  while (autoFrames_ >= barFrames) {
    if (barPositions_.empty()) {
      // Audio ran ahead of the bar lines: start again at the next bar.
      dropCollected();
      return;
    }
    const double x = barPositions_.front();
    barPositions_.erase(barPositions_.begin());
    const std::size_t barSamples = static_cast<std::size_t>(barFrames) * 2;
    const std::size_t waiting = static_cast<std::size_t>(framesWaiting()) * 2;
    std::vector<float> bar;
    if (const float* first = waitingSamples(barSamples)) bar.assign(first, first + barSamples);
    consumeCapture(std::min(barSamples, waiting));
    autoFrames_ -= barFrames;
    writeAutoBar(x, bar.empty() ? nullptr : bar.data(), static_cast<std::uint64_t>(barFrames));
  }
}

void FeedCapture::barLineAutoStep() {
  if (mode_ != FeedMode::Auto || !live_.playback().playing() || print_.active) return;
  const BarGrid& grid = live_.grid();
  if (grid.fixedRender()) {
    // The fixed-render backend re-renders from a quiet print of the loop
    // every loop length.
    const std::int32_t bars = grid.loopLength() == 0 ? 4 : std::max(grid.loopLength(), 1);
    const std::int64_t since = std::int64_t{grid.barCounter()} - std::max(grid.streamStartBar(), lastAutoPrintBar_);
    if (since < bars) return;
    lastAutoPrintBar_ = grid.barCounter();
    armPrint(bars, false, true);
    return;
  }
  const double x = grid.snappedPosition(live_.playback().reportedPlayHead());
  if (!autoCollecting_) {
    // This bar's audio starts now: nothing older may lead it.
    clearCaptureBuffer();
    autoFrames_ = 0;
    barPositions_.assign(1, x);
    autoCollecting_ = true;
    return;
  }
  barPositions_.push_back(x);
  if (barPositions_.size() > kMaxWaitingBars) dropCollected();
}

}  // namespace omber::live

// Capture: when the feeders capture, and where the audio they send goes.
// Prints and splices are in print.cpp, stream pieces and the automatic mode
// in stream.cpp.
#include <algorithm>
#include <iterator>

#include "core/live/live_audio_path.h"

namespace omber::live {

void FeedCapture::setMode(FeedMode mode) {
  mode_ = mode;
  if (mode != FeedMode::Splice) splice_ = SpliceJob{};
  if (mode != FeedMode::Stream) {
    streamedFrames_ = 0;
    streamPositionValid_ = false;
  }
  if (mode != FeedMode::Fixed && print_.active && print_.fixed) {
    print_ = PrintJob{};
    printBuffer_.clear();
  }
  clearAutoBookkeeping();
  clearCaptureBuffer();
  // Every mode but off captures, an unknown one too. A print that is still
  // active keeps the feeders sending until it finishes: without their audio
  // it would never complete, and no other print could be armed meanwhile.
  live_.playback().capture(mode != FeedMode::Off || print_.active);
}

std::optional<NewSource> FeedCapture::intake(std::uint64_t frames, const float* samples, std::int32_t feeder) {
  if (print_.active && !print_.feeder) print_.feeder = feeder;
  if (print_.active && print_.state == RecordState::Recording) {
    // A recording print takes its feeder's audio; the other modes (and the
    // other feeders) are not heard meanwhile.
    if (feeder != *print_.feeder) return std::nullopt;
    printBuffer_.insert(printBuffer_.end(), samples, samples + frames * 2);
    print_.capturedFrames += static_cast<std::int64_t>(frames);
    if (print_.capturedFrames >= print_.targetFrames) return finishPrint();
    return std::nullopt;
  }
  if (!live_.readiness().ready() || !live_.playback().playing()) return std::nullopt;
  if (mode_ == FeedMode::Auto) {
    autoIntake(frames, samples);
  } else if (mode_ == FeedMode::Stream) {
    streamIntake(frames, samples);
  } else if (mode_ == FeedMode::Splice && splice_.state == RecordState::Recording) {
    appendCapture(samples, frames);
    splice_.capturedFrames += static_cast<std::int64_t>(frames);
    if (splice_.capturedFrames >= splice_.targetFrames) finishSplice();
  }
  return std::nullopt;
}

void FeedCapture::feederClosed(std::int32_t feeder) {
  if (print_.feeder == feeder) print_.feeder.reset();
}

void FeedCapture::dropCollected() {
  clearAutoBookkeeping();
  clearCaptureBuffer();
}

void FeedCapture::streamStarted() {
  streamedFrames_ = 0;
  streamPositionValid_ = false;
  dropCollected();
}

void FeedCapture::clearAutoBookkeeping() {
  autoCollecting_ = false;
  autoFrames_ = 0;
  barPositions_.clear();
}

void FeedCapture::clearCaptureBuffer() {
  captureBuffer_.clear();
  captureReadIndex_ = 0;
}

void FeedCapture::appendCapture(const float* samples, std::uint64_t frames) {
  captureReadIndex_ = std::min(captureReadIndex_, captureBuffer_.size());
  const std::size_t waiting = captureBuffer_.size() - captureReadIndex_;
  if (captureReadIndex_ > 0 && captureReadIndex_ >= waiting) {
    // Moves only what waits, and at most as many samples as were consumed
    // since the last compaction: amortised constant cost per sample.
    captureBuffer_.erase(captureBuffer_.begin(),
                         captureBuffer_.begin() + static_cast<std::ptrdiff_t>(captureReadIndex_));
    captureReadIndex_ = 0;
  }
  captureBuffer_.insert(captureBuffer_.end(), samples, samples + frames * 2);
}

std::uint64_t FeedCapture::framesWaiting() const {
  return captureBuffer_.size() > captureReadIndex_ ? (captureBuffer_.size() - captureReadIndex_) / 2 : 0;
}

void FeedCapture::consumeCapture(std::size_t samples) {
  captureReadIndex_ = std::min(captureReadIndex_ + samples, captureBuffer_.size());
}

const float* FeedCapture::waitingSamples(std::size_t samples) const {
  return static_cast<std::size_t>(framesWaiting()) * 2 >= samples ? captureBuffer_.data() + captureReadIndex_ : nullptr;
}

CaptureMemory FeedCapture::memory() const {
  return CaptureMemory{captureBuffer_.size(), captureBuffer_.capacity(), printBuffer_.size(), printBuffer_.capacity()};
}

}  // namespace omber::live

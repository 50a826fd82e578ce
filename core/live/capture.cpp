// Capture: when the feeders capture, and where the audio they send goes.
// Prints and splices are in print.cpp, stream pieces and the automatic mode
// in stream.cpp.
#include <algorithm>
#include <iterator>

#include "core/live/live_audio_path.h"

namespace omber::live {

void LiveAudioPath::setFeedMode(FeedMode mode) {
  feedMode = mode;
  if (mode != FeedMode::Splice) splice = SpliceJob{};
  if (mode != FeedMode::Stream) {
    streamedFrames = 0;
    streamPositionValid = false;
  }
  if (mode != FeedMode::Fixed && print.active && print.fixed) {
    print = PrintJob{};
    printBuffer.clear();
  }
  clearAutoBookkeeping();
  clearCaptureBuffer();
  // Every mode but off captures, an unknown one too. A print that is still
  // active keeps the feeders sending until it finishes: without their audio
  // it would never complete, and no other print could be armed meanwhile.
  capture(mode != FeedMode::Off || print.active);
}

std::optional<NewSource> LiveAudioPath::captureIntake(std::uint64_t frames, const float* samples, std::int32_t feeder) {
  if (print.active && !print.feeder) print.feeder = feeder;
  if (print.active && print.state == RecordState::Recording) {
    // A recording print takes its feeder's audio; the other modes (and the
    // other feeders) are not heard meanwhile.
    if (feeder != *print.feeder) return std::nullopt;
    printBuffer.insert(printBuffer.end(), samples, samples + frames * 2);
    print.capturedFrames += static_cast<std::int64_t>(frames);
    if (print.capturedFrames >= print.targetFrames) return finishPrint();
    return std::nullopt;
  }
  if (!ready || !playing) return std::nullopt;
  if (feedMode == FeedMode::Auto) {
    autoIntake(frames, samples);
  } else if (feedMode == FeedMode::Stream) {
    streamIntake(frames, samples);
  } else if (feedMode == FeedMode::Splice && splice.state == RecordState::Recording) {
    appendCapture(samples, frames);
    splice.capturedFrames += static_cast<std::int64_t>(frames);
    if (splice.capturedFrames >= splice.targetFrames) finishSplice();
  }
  return std::nullopt;
}

void LiveAudioPath::feederClosed(std::int32_t feeder) {
  if (print.feeder == feeder) print.feeder.reset();
}

void LiveAudioPath::clearAutoBookkeeping() {
  autoCollecting = false;
  autoFrames = 0;
  barPositions.clear();
}

void LiveAudioPath::clearCaptureBuffer() {
  captureBuffer.clear();
  captureReadIndex = 0;
}

void LiveAudioPath::appendCapture(const float* samples, std::uint64_t frames) {
  captureReadIndex = std::min(captureReadIndex, captureBuffer.size());
  const std::size_t waiting = captureBuffer.size() - captureReadIndex;
  if (captureReadIndex > 0 && captureReadIndex >= waiting) {
    // Moves only what waits, and at most as many samples as were consumed
    // since the last compaction: amortised constant cost per sample.
    captureBuffer.erase(captureBuffer.begin(),
                        captureBuffer.begin() + static_cast<std::ptrdiff_t>(captureReadIndex));
    captureReadIndex = 0;
  }
  captureBuffer.insert(captureBuffer.end(), samples, samples + frames * 2);
}

std::uint64_t LiveAudioPath::captureFramesWaiting() const {
  return captureBuffer.size() > captureReadIndex ? (captureBuffer.size() - captureReadIndex) / 2 : 0;
}

void LiveAudioPath::consumeCapture(std::size_t samples) {
  captureReadIndex = std::min(captureReadIndex + samples, captureBuffer.size());
}

}  // namespace omber::live

// Where the feeders' audio goes: the feed mode and mix, the capture buffer,
// prints and splices (bar-exact recordings), stream pieces and the automatic
// mode's bar writes. Part of the live audio path, which owns it; it reads
// the path's bar grid and playback state and sends through its transport.
//   capture.cpp  modes, intake and the capture buffer
//   print.cpp    prints and splices: arming, the bar-line start, finishing
//   stream.cpp   stream pieces and the automatic mode
// JavaScript thread only; nothing here is realtime-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/live/modes.h"

namespace omber::live {

struct LiveAudioPath;

// At most one print at a time: armed, then recording from the next bar line.
struct PrintJob {
  std::optional<RecordState> state;  // absent until armed
  std::int32_t bars = 0;
  double tempo = 0.0;  // beats per minute
  bool fixed = false;
  bool quiet = false;
  std::int64_t targetFrames = 0;
  std::int64_t capturedFrames = 0;
  double startPosition = 0.0;  // seconds
  std::int32_t startBar = 0;
  bool active = false;
  // The one feeder whose audio the print takes: the first that delivers
  // after arming (several feeders would otherwise interleave).
  std::optional<std::int32_t> feeder;
};

// A bar-aligned recording written back into the source.
struct SpliceJob {
  std::optional<RecordState> state;  // absent = none
  std::int32_t bars = 0;
  std::int64_t targetFrames = 0;
  std::int64_t capturedFrames = 0;
  double startPosition = 0.0;  // seconds
};

// A finished print that becomes the next source: the print repeated. The
// engine takes it over and uploads it to start a session from it.
struct NewSource {
  std::vector<float> samples;  // interleaved
  std::int32_t channels = 2;
  double tempo = 0.0;  // beats per minute the print was recorded at
};

// Floats held by the capture and print buffers, for memory traces.
struct CaptureMemory {
  std::size_t captureSize = 0;
  std::size_t captureCapacity = 0;
  std::size_t printSize = 0;
  std::size_t printCapacity = 0;
};

class FeedCapture {
 public:
  explicit FeedCapture(LiveAudioPath& live) : live_(live) {}
  FeedCapture(const FeedCapture&) = delete;
  FeedCapture& operator=(const FeedCapture&) = delete;

  // ==== capture.cpp ====
  // The "feed" inlet: also tells the feeders whether to capture.
  void setMode(FeedMode mode);
  FeedMode mode() const { return mode_; }
  // The "feed_mix" inlet: how stream, splice and automatic writes combine.
  void setMix(FeedMix mix) { mix_ = std::move(mix); }
  const FeedMix& mix() const { return mix_; }

  // Frames x 2 samples from an accepted CapturePcm frame of a feeder
  // (connection id): a recording print takes them all when they come from
  // its feeder; otherwise, while ready and playing, the feed mode's stream,
  // splice or automatic mode does. Returns the new source when these frames
  // finished a print that becomes one; the caller hands it on.
  [[nodiscard]] std::optional<NewSource> intake(std::uint64_t frames, const float* samples, std::int32_t feeder = 0);
  // A feeder's connection closed: a print that chose it takes the next one.
  void feederClosed(std::int32_t feeder);

  // The players moved to a new place (a section applied): audio collected so
  // far no longer lines up with them.
  void dropCollected();
  // A new stream started: the stream position and counts start again too.
  void streamStarted();
  // A new generation was swapped in: the next stream piece starts the region again.
  void sourceSwapped() { streamPositionValid_ = false; }

  // Stereo frames waiting in the capture buffer.
  std::uint64_t framesWaiting() const;
  CaptureMemory memory() const;

  // ==== print.cpp ====
  // "fixed_arm", "canvas_arm" (quiet off) and the automatic mode (quiet on).
  void armPrint(double bars, bool fixed, bool quiet);
  // "splice_arm": at least 1 bar.
  void armSplice(double bars);
  // Bar-line step after the pending section: an armed splice or print starts recording.
  void barLinePrintStep();
  const PrintJob& print() const { return print_; }
  const SpliceJob& splice() const { return splice_; }
  bool printing() const { return print_.active; }

  // What finished prints leave behind. A print's length is the period at
  // which the source repeats; its tempo is the source's; a print that became
  // a new source loops its bars in the next stream.
  void setPrintPeriod(std::optional<double> seconds);  // absent: unknown
  std::optional<double> printPeriod() const {
    return printPeriodKnown_ ? std::optional<double>(printPeriod_) : std::nullopt;
  }
  double sourceTempo() const { return sourceTempo_; }
  void loopNextStreamOver(std::int32_t bars) { pendingLoopBars_ = bars; }
  std::optional<std::int32_t> pendingLoopBars() const { return pendingLoopBars_; }
  std::optional<std::int32_t> takePendingLoopBars();
  // A print that does not fill the source becomes a new source of at most
  // this many frames: the print repeated (a minute). Fuzzing lowers it, since
  // each new source is otherwise built at 23 MB.
  void setMaxSourceFrames(std::int64_t frames) { maxSourceFrames_ = frames; }

  // ==== stream.cpp ====
  // Automatic-mode step called by the bar line last, after the phase and drift step.
  void barLineAutoStep();
  double streamPosition() const { return streamPosition_; }
  bool streamPositionValid() const { return streamPositionValid_; }
  std::int64_t streamedFrames() const { return streamedFrames_; }
  bool autoCollecting() const { return autoCollecting_; }
  const std::vector<double>& barPositions() const { return barPositions_; }

 private:
  // capture.cpp
  void clearAutoBookkeeping();
  void clearCaptureBuffer();
  // Appends to the capture buffer. Consumed samples (before the read index)
  // are dropped first once they are at least half the buffer, so the buffer
  // holds what waits plus at most as much again, however long capture runs.
  void appendCapture(const float* samples, std::uint64_t frames);
  // Moves the read index on by up to `samples`, never past the buffer's end
  // (an outlet callback may have emptied the buffer meanwhile).
  void consumeCapture(std::size_t samples);
  // The samples after the read index; null when fewer than `samples` wait.
  const float* waitingSamples(std::size_t samples) const;

  // print.cpp
  std::optional<NewSource> finishPrint();
  void finishSplice();

  // stream.cpp
  void streamIntake(std::uint64_t frames, const float* samples);
  void autoIntake(std::uint64_t frames, const float* samples);
  void sendStreamPiece();
  void writeAutoBar(double x, const float* samples, std::uint64_t frames);

  LiveAudioPath& live_;
  FeedMode mode_ = FeedMode::Off;
  FeedMix mix_;
  std::vector<float> captureBuffer_;  // stereo interleaved
  std::size_t captureReadIndex_ = 0;  // samples
  double streamPosition_ = 0.0;       // seconds
  bool streamPositionValid_ = false;
  std::int64_t streamedFrames_ = 0;
  PrintJob print_;
  std::vector<float> printBuffer_;  // stereo interleaved
  SpliceJob splice_;
  std::vector<double> barPositions_;  // automatic mode: positions waiting for their bar
  bool autoCollecting_ = false;
  std::int64_t autoFrames_ = 0;
  std::int32_t lastAutoPrintBar_ = 0;
  std::int64_t maxSourceFrames_ = 2'880'000;
  double printPeriod_ = 0.0;  // seconds
  bool printPeriodKnown_ = false;
  std::optional<std::int32_t> pendingLoopBars_;  // a print's bars waiting to become the loop length
  double sourceTempo_ = 0.0;                     // tempo recorded with the printed source, 0 when none
};

}  // namespace omber::live

// The engine's record of the live audio path: the players' copy of the
// source buffer, the reported play head, the bar grid kept in step with
// Live, the loop region, the resume point, the feed mode and the print and
// capture state.
//
// Owned by the engine for its whole life; the endpoint table and the server
// session hold references to it. Its operations are defined per concern:
//   playback.cpp  loading, swapping and patching the players, play-head
//                 reports, Live's transport, the waveform peaks
//   bar_grid.cpp  bar length, loop region, snapped and expected positions,
//                 sections and the per-bar step
//   capture.cpp   feed mode, capture intake and the capture buffer
//   print.cpp     prints and splices: arming, the bar-line start, finishing
//   stream.cpp    stream pieces and the automatic mode's bar writes
// Everything runs on the host's JavaScript thread; nothing is realtime-safe.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/base/atom.h"
#include "core/base/transport.h"
#include "core/live/modes.h"

namespace omber::live {

using base::Atom;
using base::Atoms;
using base::ITransport;
using base::PatchFrame;
using base::WriteAudioRequest;

// Captured audio, like every buffer exchanged with the players, is stereo at
// 48 kHz: frames per second.
constexpr double kCaptureRate = 48000.0;

// A loop region in seconds of the source buffer.
struct LoopRegion {
  double start = 0.0;
  double end = 0.0;
};

// A known pair of (bar counter, play position) from which later positions
// are computed.
struct ResumePoint {
  std::int32_t bar = 0;
  double position = 0.0;  // seconds
  bool valid = false;
};

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

// One entry of the session LoRA list, rebuilt from the two LoRA slots.
struct SessionLora {
  std::optional<std::string> id;
  double strength = 1.0;
};

// Audio of a timbre or structure source clip.
struct SourceClip {
  std::string name;
  bool held = false;
  std::vector<float> samples;  // interleaved
  std::int32_t channels = 2;
};

struct LiveAudioPath {
  // ---- wiring ----
  ITransport* transport = nullptr;  // the engine's transport, set once after construction

  // ---- readiness of the server session ----
  bool ready = false;
  double sourceDuration = 0.0;             // seconds; counts only when ready
  double serverTempo = 0.0;                // "bpm" of the readiness information, 0 when absent
  std::string timeSignature = "4/4";
  std::optional<bool> loopBandCapability;  // absent counts as supported

  // ---- playback ----
  const float* bufferSamples = nullptr;  // view of the engine's source buffer
  std::uint64_t bufferFrames = 0;
  std::int32_t channels = 0;
  std::int64_t totalSamples = 0;  // channels x frames
  std::int32_t generation = 0;    // source epoch of the buffer the players hold
  bool hasBuffer = false;
  bool playing = false;
  std::int32_t swapCount = 0;  // Swap frames sent since the last Init
  std::uint32_t initCount = 0;  // Init frames sent to all players; tells a late joiner's swaps apart
  double reportedPlayHead = 0.0;  // seconds
  const float* patchSamples = nullptr;  // set only while a patch is being sent
  std::uint64_t patchFrames = 0;
  bool transportRunning = true;  // Live's transport
  bool capturing = false;  // the feeders were last told to capture

  // ---- bar grid ----
  double liveTempo = 0.0;
  bool liveTempoKnown = false;
  double gridTempo = 0.0;
  bool gridTempoKnown = false;
  std::string backendName = "acestep";
  double renderLength = 0.0;  // seconds; the "sa3" backend's fixed render, 0 when none
  std::int32_t loopStartBar = -1;  // -1 = no loop region
  std::int32_t loopLength = 4;     // bars
  double quantisation = 1.0;       // bars
  std::int32_t barCounter = 0;
  std::int32_t startBar = 0;  // bar counter when the stream started
  ResumePoint resume;
  bool resyncPending = false;
  std::int32_t lastTempoWarningBar = -99;
  bool sectionPending = false;
  std::int32_t pendingSection = 0;
  std::function<void()> deferredAction;  // runs once at the next bar line

  // ---- capture and print ----
  FeedMode feedMode = FeedMode::Off;
  FeedMix feedMixMode;
  std::vector<float> captureBuffer;  // stereo interleaved
  std::size_t captureReadIndex = 0;  // samples
  double streamPosition = 0.0;       // seconds
  bool streamPositionValid = false;
  std::int64_t streamedFrames = 0;
  PrintJob print;
  std::vector<float> printBuffer;  // stereo interleaved
  SpliceJob splice;
  std::vector<double> barPositions;  // automatic mode: positions waiting for their bar
  bool autoCollecting = false;
  std::int64_t autoFrames = 0;
  std::int32_t lastAutoPrintBar = 0;
  // A print that does not fill the source becomes a new source of at most
  // this many frames: the print repeated (a minute). Fuzzing lowers it, since
  // each new source is otherwise built at 23 MB.
  std::int64_t maxSourceFrames = 2'880'000;
  double printPeriod = 0.0;  // seconds
  bool printPeriodKnown = false;
  std::optional<std::int32_t> pendingLoopBars;  // a print's bars waiting to become the loop length
  double sourceTempo = 0.0;  // tempo recorded with the printed source, 0 when none

  // ---- sources and LoRAs restated when a stream starts ----
  std::array<SessionLora, 2> sessionLoras;
  SourceClip timbre;
  SourceClip structure;

  // ==== playback.cpp ====
  // Wrappers over the transport's player and feeder frames.
  void init(std::uint64_t frames, std::int32_t channels, double sampleRate);
  void patch(std::uint32_t startFrame, std::uint64_t frames);
  void swap(std::int32_t channels, std::uint64_t frames);
  void band(double startSeconds, double endSeconds);
  void seek(double seconds);
  void run(bool playing);
  void capture(bool on);

  // The first audio of a stream was stored as the source buffer.
  void startPlayback(std::uint64_t frames, std::int32_t channels, std::int32_t epoch);
  // A whole new generation replaced the source buffer.
  void swapGeneration(std::int32_t channels, std::uint64_t frames);
  // Stereo frames the players take of a slice of sampleCount samples from
  // startFrame: what fits their buffer; none for another generation.
  std::optional<std::uint64_t> slicePatchFrames(std::int32_t sliceEpoch, std::uint32_t startFrame,
                                                std::uint64_t sampleCount) const;
  // A slice of generation sliceEpoch was merged into the source buffer:
  // sampleCount samples from startFrame, read in place (the region of the
  // source buffer, or any memory valid during the call). Sends the players
  // what fits their buffer as a Patch, only for their generation.
  void patchSlice(std::int32_t sliceEpoch, std::uint32_t startFrame, const float* samples,
                  std::uint64_t sampleCount);
  // As patchSlice, for a slice about to be merged: the Patch those
  // sampleCount samples would make, opened for the caller to fill and send
  // (closed when the players get none).
  PatchFrame openSlicePatch(std::int32_t sliceEpoch, std::uint32_t startFrame, std::uint64_t sampleCount);
  // A player's Position frame: the play head counts only when it belongs to
  // the buffer generation the players were last sent (same swap count).
  void reportPlayHead(double seconds, std::int32_t reportedSwapCount);
  // Live's transport started or stopped: run or hold the players.
  void setTransportRunning(bool running);
  // The waveform overview ("peaks") for the interface.
  void reportPeaks();

  // ==== bar_grid.cpp ====
  std::int32_t beatsPerBar() const;
  double gridTempoInUse() const;
  double barLength() const;  // seconds
  LoopRegion loopRegion() const;
  double snappedPosition(double seconds) const;
  // Where the players should be at the current bar; absent when unknown.
  std::optional<double> expectedPosition() const;
  // A bar line of Live passed.
  void onBar();
  // Rounds both numbers, applies at once or at the next bar line.
  void setLoopRegion(double startBar, double lengthBars);
  // Makes a loop start bar current and sends its region to the players.
  void applySection(std::int32_t startBar, bool resume);

  // ==== capture.cpp ====
  void setFeedMode(FeedMode mode);
  // Frames x 2 samples from an accepted CapturePcm frame of a feeder
  // (connection id): a recording print takes them all when they come from
  // its feeder; otherwise, while ready and playing, the feed mode's stream,
  // splice or automatic mode does. Returns the new source when these frames
  // finished a print that becomes one; the caller hands it on.
  [[nodiscard]] std::optional<NewSource> captureIntake(std::uint64_t frames, const float* samples,
                                                       std::int32_t feeder = 0);
  // A feeder's connection closed: a print that chose it takes the next one.
  void feederClosed(std::int32_t feeder);
  void clearAutoBookkeeping();
  void clearCaptureBuffer();
  // Appends to the capture buffer. Consumed samples (before the read index)
  // are dropped first once they are at least half the buffer, so the buffer
  // holds what waits plus at most as much again, however long capture runs.
  void appendCapture(const float* samples, std::uint64_t frames);
  // Stereo frames waiting in the capture buffer after the read index.
  std::uint64_t captureFramesWaiting() const;
  // Moves the read index on by up to `samples`, never past the buffer's end
  // (an outlet callback may have emptied the buffer meanwhile).
  void consumeCapture(std::size_t samples);

  // ==== print.cpp ====
  // "fixed_arm", "canvas_arm" (quiet off) and the automatic mode (quiet on).
  void armPrint(double bars, bool fixed, bool quiet);
  // "splice_arm": at least 1 bar.
  void armSplice(double bars);
  // Bar-line step called by onBar after the pending section: an armed splice
  // or print starts recording.
  void barLinePrintStep();
  // Captured frames reached the target: the print is written into the
  // current source, or returned as a new one.
  std::optional<NewSource> finishPrint();
  void finishSplice();

  // ==== stream.cpp ====
  // Automatic-mode step called by onBar last, after the phase and drift step.
  void barLineAutoStep();
  // The "stream" and "auto" feed modes' share of captureIntake.
  void streamIntake(std::uint64_t frames, const float* samples);
  void autoIntake(std::uint64_t frames, const float* samples);
};

}  // namespace omber::live

// The engine's record of the live audio path: the readiness of the server
// session, the players' copy of the source buffer and the reported play
// head. The bar grid kept in step with Live (tempos, loop region, bar
// counter, resume point, the per-bar step) is its part grid(), a BarGrid;
// where the feeders' audio goes (capture, prints, splices, stream pieces) is
// its part feed(), a FeedCapture.
//
// Owned by the engine for its whole life; the endpoint table and the server
// session hold references to it. Its own operations are defined in
//   playback.cpp  loading, swapping and patching the players, play-head
//                 reports, Live's transport, the waveform peaks
// Everything runs on the host's JavaScript thread; nothing is realtime-safe.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/base/atom.h"
#include "core/base/transport.h"
#include "core/live/bar_grid.h"
#include "core/live/feed_capture.h"
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
  double sourceDuration = 0.0;  // seconds; counts only when ready
  double serverTempo = 0.0;     // "bpm" of the readiness information, 0 when absent
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
  std::int32_t swapCount = 0;           // Swap frames sent since the last Init
  std::uint32_t initCount = 0;          // Init frames sent to all players; tells a late joiner's swaps apart
  double reportedPlayHead = 0.0;        // seconds
  const float* patchSamples = nullptr;  // set only while a patch is being sent
  std::uint64_t patchFrames = 0;
  bool transportRunning = true;  // Live's transport
  bool capturing = false;        // the feeders were last told to capture

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
  void patchSlice(std::int32_t sliceEpoch, std::uint32_t startFrame, const float* samples, std::uint64_t sampleCount);
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

  // Tempos, the loop region, bar counting and the step at every bar line.
  BarGrid& grid() { return grid_; }
  const BarGrid& grid() const { return grid_; }

  // Capture, prints and splices, stream pieces and the automatic mode.
  FeedCapture& feed() { return feed_; }
  const FeedCapture& feed() const { return feed_; }

 private:
  BarGrid grid_{*this};
  FeedCapture feed_{*this};
};

}  // namespace omber::live

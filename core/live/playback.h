// The players' copy of the source buffer: loading, swapping and patching it,
// the play head they report, Live's transport, the feeders' capture flag and
// the waveform overview. Part of the live audio path, which owns it; it reads
// the path's readiness and bar grid and sends through its transport.
//   playback.cpp  every operation below
// JavaScript thread only; nothing here is realtime-safe.
#pragma once

#include <cstdint>
#include <optional>

#include "core/base/transport.h"

namespace omber::live {

struct LiveAudioPath;

class Playback {
 public:
  explicit Playback(LiveAudioPath& live) : live_(live) {}
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // The engine's source buffer was filled anew: `frames` frames from
  // `samples`, which stay valid until the next call. Nothing is sent; start
  // or swapGeneration hands them to the players.
  void holdSource(const float* samples, std::uint64_t frames);

  // The first audio of a stream is the held source, of generation `epoch`:
  // every player loads it and starts at the loop region; the performer's
  // LoRAs and sources are restated, and the interface hears of the sections.
  void start(std::int32_t channels, std::int32_t epoch);
  // A whole new generation replaced the held source: every player crossfades
  // to it, and position reports of the old one are ignored from now on.
  void swapGeneration(std::int32_t channels, std::int32_t epoch);
  // The stream stopped, or gives way to a source upload: nothing plays until
  // the next start. The players are not told (the host closes the socket).
  void stop() { playing_ = false; }

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
  base::PatchFrame openSlicePatch(std::int32_t sliceEpoch, std::uint32_t startFrame, std::uint64_t sampleCount);

  // A player's Position frame: the play head counts only when it belongs to
  // the buffer generation the players were last sent (same swap count).
  void reportPlayHead(double seconds, std::int32_t reportedSwapCount);
  // Sends the players to `seconds`; the play head counts as there until
  // they report again.
  void moveTo(double seconds);
  // The players loop between these two positions (seconds).
  void band(double startSeconds, double endSeconds);
  // Live's transport started or stopped: run or hold the players.
  void setTransportRunning(bool running);
  // Tells the feeders whether to capture.
  void capture(bool on);
  // The waveform overview ("peaks") for the interface.
  void reportPeaks();

  const float* bufferSamples() const { return bufferSamples_; }
  std::uint64_t bufferFrames() const { return bufferFrames_; }
  std::int64_t totalSamples() const { return totalSamples_; }
  std::int32_t generation() const { return generation_; }
  bool hasBuffer() const { return hasBuffer_; }
  bool playing() const { return playing_; }
  std::int32_t swapCount() const { return swapCount_; }
  std::uint32_t initCount() const { return initCount_; }
  double reportedPlayHead() const { return reportedPlayHead_; }  // seconds
  bool transportRunning() const { return transportRunning_; }
  bool capturing() const { return capturing_; }

 private:
  LiveAudioPath& live_;
  const float* bufferSamples_ = nullptr;  // view of the engine's source buffer
  std::uint64_t bufferFrames_ = 0;
  std::int32_t channels_ = 0;
  std::int64_t totalSamples_ = 0;  // channels x frames the players hold
  std::int32_t generation_ = 0;    // source epoch of the buffer the players hold
  bool hasBuffer_ = false;
  bool playing_ = false;
  std::int32_t swapCount_ = 0;     // Swap frames sent since the last Init
  std::uint32_t initCount_ = 0;    // Init frames sent to all players; tells a late joiner's swaps apart
  double reportedPlayHead_ = 0.0;  // seconds
  bool transportRunning_ = true;   // Live's transport
  bool capturing_ = false;         // the feeders were last told to capture
};

}  // namespace omber::live

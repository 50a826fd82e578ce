// The engine's one way outward: every message it sends to the host (link
// frames for the players and feeders, server commands, requests to the host
// and the device's interface) goes through an ITransport operation; only the
// transport holds the outlet.
//
// The operations are listed in their virtual slot order; RealTransport turns
// each into one outlet message (two for the audio-carrying server commands).
// Used on the host's JavaScript thread only; not realtime-safe.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/atom.h"

namespace omber::base {

// Placement and options of a "write_audio" server command; the samples,
// frame count and channel count travel as separate arguments of
// sendWriteAudio.
struct WriteAudioRequest {
  std::optional<double> at;                 // seconds, sent as "at_s"
  std::string mix;                          // sent as "mix" when not empty
  std::string repeat;                       // sent as "repeat" when not empty
  std::optional<std::int64_t> sourceEpoch;  // sent as "source_epoch"
};

class ITransport;

// A Patch frame for the players, filled in place before it is sent: the
// transport lays out the frame's header and reserves room for its samples;
// the caller appends the samples as it produces them (the slice intake does
// so while it merges a slice into the source buffer, block by block, so each
// sample is written once and copied to the frame while still in cache), then
// send() hands the frame to the players. The bytes sent are those
// patchPlayers would send for the same samples.
//
// Not thread-safe: used on the thread of the transport that opened it, and
// never after that transport is gone. Opening allocates the frame once, at
// its final size; append() allocates nothing; send() allocates only what the
// outlet message around the frame needs. Not realtime-safe.
class PatchFrame {
 public:
  // A closed frame: room for nothing, send() sends nothing.
  PatchFrame() = default;
  // For transports: `frame` holds the header and start frame, with capacity
  // reserved for `room` more samples; send() passes it to owner.sendPatch.
  PatchFrame(ITransport& owner, std::vector<std::uint8_t> frame, std::uint64_t room)
      : owner_(&owner), bytes_(std::move(frame)), room_(room) {}
  PatchFrame(PatchFrame&& other) noexcept { *this = std::move(other); }
  PatchFrame& operator=(PatchFrame&& other) noexcept {
    owner_ = std::exchange(other.owner_, nullptr);
    bytes_ = std::move(other.bytes_);
    room_ = std::exchange(other.room_, 0);
    written_ = std::exchange(other.written_, 0);
    return *this;
  }
  PatchFrame(const PatchFrame&) = delete;
  PatchFrame& operator=(const PatchFrame&) = delete;

  // Whether send() will send a frame (an open frame may have room for no
  // samples: it still goes out, carrying its start frame only).
  bool isOpen() const { return owner_ != nullptr; }
  // Samples (frames x 2) the frame still has room for.
  std::uint64_t room() const { return room_ - written_; }

  // Appends samples, interleaved stereo, after those appended before; what
  // exceeds the room is dropped.
  void append(const float* samples, std::size_t count) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, room()));
    if (n == 0 || !samples) return;
    // Frame samples are little-endian binary32, as this host stores floats.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples);
    bytes_.insert(bytes_.end(), bytes, bytes + n * sizeof(float));
    written_ += n;
  }

  // Sends the frame with the samples appended so far, once; the frame is
  // closed afterwards. Samples never appended are not sent (the frame is
  // that much shorter).
  void send();

 private:
  ITransport* owner_ = nullptr;
  std::vector<std::uint8_t> bytes_;
  std::uint64_t room_ = 0;
  std::uint64_t written_ = 0;
};

class ITransport {
 public:
  virtual ~ITransport() = default;

  // ---- link frames to the players and feeders ("ext:write") ----
  // Copies channels x frames samples; null samples or a product below 1
  // send an empty sample block. The rate is written truncated to an integer.
  virtual void initPlayers(const float* samples, std::uint64_t frames, std::int32_t channels, double sampleRate) = 0;
  // Copies frames x 2 stereo samples starting at startFrame.
  virtual void patchPlayers(const float* stereo, std::uint32_t startFrame, std::uint64_t frames) = 0;
  // As initPlayers with the fixed rate 48000.
  virtual void swapPlayers(const float* samples, std::uint64_t frames, std::int32_t channels) = 0;
  virtual void setPlayersBand(double startSeconds, double endSeconds) = 0;
  virtual void seekPlayers(double seconds) = 0;
  virtual void runPlayers(bool run) = 0;
  virtual void captureFeeders(bool on) = 0;

  // ---- server commands ("ws:send") ----
  virtual void sendLoopBand(double startSeconds, double endSeconds) = 0;
  // Sends the command text and its audio message. With drop set and the
  // send gate refusing, nothing is sent and the result is false.
  virtual bool sendWriteAudio(const float* samples, std::uint64_t frames, std::int32_t channels,
                              const WriteAudioRequest& request, std::optional<bool> drop) = 0;
  virtual void sendTimbreSource(const float* samples, std::uint64_t frames, std::int32_t channels,
                                const std::string& name) = 0;
  virtual void sendStructureSource(const float* samples, std::uint64_t frames, std::int32_t channels,
                                   const std::string& name) = 0;
  virtual void sendEnableLora(const std::string& id, double strength) = 0;
  virtual void sendTimbreFixture(const std::string& name) = 0;
  virtual void sendStructureFixture(const std::string& name) = 0;

  // ---- a new source handed to the host ("core:start_from_pcm") ----
  // Takes the interleaved samples over. A channel count below 1 counts every
  // sample as a frame. (The engine takes its own finished prints directly.)
  virtual void startFromSamples(std::vector<float> samples, std::int32_t channels, std::optional<double> tempo) = 0;
  // As startFromSamples with a copy of frames x channels samples; null
  // samples give zero samples.
  void startFromPcm(const float* samples, std::uint64_t frames, std::int32_t channels, std::optional<double> tempo) {
    const std::uint64_t perFrame = channels < 1 ? 1 : static_cast<std::uint64_t>(channels);
    std::vector<float> owned(frames * perFrame, 0.0f);
    if (samples) std::copy(samples, samples + owned.size(), owned.begin());
    startFromSamples(std::move(owned), channels, tempo);
  }

  // ---- the device's interface ("ui:") ----
  virtual void emitSection(std::int32_t startBar, double startSeconds, double endSeconds) = 0;
  virtual void emitSectionPending(std::int32_t section) = 0;
  virtual void emitPhase(double milliseconds) = 0;
  virtual void emitGridBpm(double bpm) = 0;
  virtual void emitReady(std::int32_t sections) = 0;
  virtual void emitSwap() = 0;
  virtual void emitStatus(const std::string& text) = 0;

  // ---- link frames built in place (after the others, keeping their slots) ----
  // Opens a Patch of `frames` stereo frames starting at startFrame, to be
  // filled and sent through the returned handle (see PatchFrame): what
  // patchPlayers sends, without copying the samples out of a buffer first.
  virtual PatchFrame openPatch(std::uint32_t startFrame, std::uint64_t frames) = 0;

  // ---- the bridge's connections ("ext:") ----
  // A link frame for "players", "feeders" or one connection (its id as
  // text); an empty frame is not sent.
  virtual void writeLinkFrame(const std::string& to, std::vector<std::uint8_t> frame) = 0;
  // Asks the host to close a connection whose bytes could not be read.
  virtual void dropConnection(std::int32_t id) = 0;
  // A connection's Hello told its role: the host files it under "players"
  // or "feeders".
  virtual void announceRole(std::int32_t id, bool feeder) = 0;

  // ---- the server connection ("ws:send") ----
  virtual void sendServerText(std::string_view text) = 0;
  virtual void sendServerBytes(std::vector<std::uint8_t> message) = 0;

  // ---- everything else for the host and the device's interface ----
  // Requests to the host (endpoint lookup, socket, timers, files) and
  // interface messages without an operation of their own (echoes, peaks,
  // positions, snapshot references), passed on as they stand.
  virtual void emit(const char* selector, Atoms atoms) = 0;

 protected:
  friend class PatchFrame;
  // Sends a frame opened by openPatch with its samples appended.
  virtual void sendPatch(std::vector<std::uint8_t> frame) = 0;
};

inline void PatchFrame::send() {
  if (!owner_) return;
  ITransport* owner = std::exchange(owner_, nullptr);
  room_ = written_ = 0;
  owner->sendPatch(std::move(bytes_));
}

}  // namespace omber::base

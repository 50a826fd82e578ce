// The engine's one way outward: every message its session, playback and
// capture logic sends to the host goes through an ITransport operation.
//
// The operations are listed in their virtual slot order; RealTransport turns
// each into one outlet message (two for the audio-carrying server commands).
// Used on the host's JavaScript thread only; not realtime-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace omber {

// Placement and options of a "write_audio" server command; the samples,
// frame count and channel count travel as separate arguments of
// sendWriteAudio.
struct WriteAudioRequest {
  std::optional<double> at;                  // seconds, sent as "at_s"
  std::string mix;                           // sent as "mix" when not empty
  std::string repeat;                        // sent as "repeat" when not empty
  std::optional<std::int64_t> sourceEpoch;   // sent as "source_epoch"
};

class ITransport {
 public:
  virtual ~ITransport() = default;

  // ---- link frames to the players and feeders ("ext:write") ----
  // Copies channels x frames samples; null samples or a product below 1
  // send an empty sample block. The rate is written truncated to an integer.
  virtual void initPlayers(const float* samples, std::uint64_t frames, std::int32_t channels,
                           double sampleRate) = 0;
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

  // ---- engine-internal: a new source for the start-from-audio upload ----
  // Takes the interleaved samples over; where the engine receives them
  // directly, no copy is made (a source can be tens of megabytes). A channel
  // count below 1 counts every sample as a frame.
  virtual void startFromSamples(std::vector<float> samples, std::int32_t channels,
                                std::optional<double> tempo) = 0;
  // As startFromSamples with a copy of frames x channels samples; null
  // samples give zero samples.
  void startFromPcm(const float* samples, std::uint64_t frames, std::int32_t channels,
                    std::optional<double> tempo) {
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
};

}  // namespace omber

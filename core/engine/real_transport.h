// The one ITransport of the engine: each operation becomes one outlet
// message ("ext:write" with a link frame, "ws:send" with a server command,
// "ui:..." for the interface). A new source goes to the start sink when one
// is set (the engine takes it without copies), else out as a
// "core:start_from_pcm" message. Keeps no state between calls. JavaScript
// thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "core/base/atom.h"
#include "core/base/transport.h"

namespace omber::engine {

using base::Atom;
using base::Atoms;
using base::ITransport;
using base::OutletFn;
using base::PatchFrame;
using base::WriteAudioRequest;

class RealTransport final : public ITransport {
 public:
  // Answers whether that many further bytes may be written to the server
  // connection now.
  using SendGate = std::function<bool(std::int64_t bytes)>;

  explicit RealTransport(OutletFn outlet) : outlet_(std::move(outlet)) {}
  RealTransport(const RealTransport&) = delete;
  RealTransport& operator=(const RealTransport&) = delete;

  void setSendGate(SendGate gate) { sendGate_ = std::move(gate); }

  void initPlayers(const float* samples, std::uint64_t frames, std::int32_t channels, double sampleRate) override;
  void patchPlayers(const float* stereo, std::uint32_t startFrame, std::uint64_t frames) override;
  void swapPlayers(const float* samples, std::uint64_t frames, std::int32_t channels) override;
  void setPlayersBand(double startSeconds, double endSeconds) override;
  void seekPlayers(double seconds) override;
  void runPlayers(bool run) override;
  void captureFeeders(bool on) override;

  void sendLoopBand(double startSeconds, double endSeconds) override;
  bool sendWriteAudio(const float* samples, std::uint64_t frames, std::int32_t channels,
                      const WriteAudioRequest& request, std::optional<bool> drop) override;
  void sendTimbreSource(const float* samples, std::uint64_t frames, std::int32_t channels,
                        const std::string& name) override;
  void sendStructureSource(const float* samples, std::uint64_t frames, std::int32_t channels,
                           const std::string& name) override;
  void sendEnableLora(const std::string& id, double strength) override;
  void sendTimbreFixture(const std::string& name) override;
  void sendStructureFixture(const std::string& name) override;

  void startFromSamples(std::vector<float> samples, std::int32_t channels, std::optional<double> tempo) override;

  void emitSection(std::int32_t startBar, double startSeconds, double endSeconds) override;
  void emitSectionPending(std::int32_t section) override;
  void emitPhase(double milliseconds) override;
  void emitGridBpm(double bpm) override;
  void emitReady(std::int32_t sections) override;
  void emitSwap() override;
  void emitStatus(const std::string& text) override;

  PatchFrame openPatch(std::uint32_t startFrame, std::uint64_t frames) override;

  void writeLinkFrame(const std::string& to, std::vector<std::uint8_t> frame) override;
  void dropConnection(std::int32_t id) override;
  void announceRole(std::int32_t id, bool feeder) override;
  void sendServerText(std::string_view text) override;
  void sendServerBytes(std::vector<std::uint8_t> message) override;
  void emit(const char* selector, Atoms atoms) override;

 protected:
  void sendPatch(std::vector<std::uint8_t> frame) override;

 private:
  void writeTo(const char* group, std::vector<std::uint8_t> frame);
  void emitNumber(const char* selector, double value);

  OutletFn outlet_;
  SendGate sendGate_;
};

}  // namespace omber::engine

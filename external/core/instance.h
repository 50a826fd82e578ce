// One omber~ instance without the Max layer: the shared state, the link
// thread, the messages and the perform routine. The Max glue forwards to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "external/core/capture_resampler.h"
#include "external/core/instance_state.h"
#include "external/core/link_thread.h"
#include "external/core/realtime.h"

namespace omber::external {

class Instance {
 public:
  static constexpr int kCommandsPerVector = 256;

  // Main thread. Allocates the queues and the ring (captureBytes long); does
  // not start the link thread yet (attributes are processed in between).
  explicit Instance(InstanceState::PostFn post, LinkThread::Timing timing = {},
                    std::size_t captureBytes = CaptureRing::kDefaultBytes);
  // Main thread. Stops and joins the link thread, then frees every block.
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // Main thread: starts the link thread with the capture switch set from the
  // capture attribute.
  void start(bool captureOn);

  // ---- messages and attributes (main thread) ----
  // "connect": no port posts the usage text, a port outside 1..65535 posts
  // "omber~: bad port %ld", a token that is given but empty or longer than
  // 64 bytes posts "omber~: bad token"; otherwise the link thread connects
  // to the port (sending the token first on every connection) and keeps
  // reconnecting until "disconnect" or free.
  void connect(std::optional<long> port, std::optional<std::string> token = std::nullopt);
  // "disconnect": closes the connection and stops reconnecting. The later
  // of "connect" and "disconnect" wins.
  void disconnect() { state_.link.disconnect(); }
  void setCapture(bool on) { state_.capturing.store(on, std::memory_order_relaxed); }
  void setRole(std::int32_t role) { state_.role.store(role, std::memory_order_relaxed); }
  std::int32_t role() const { return state_.role.load(std::memory_order_relaxed); }

  // dsp64, main thread while this instance is outside a running signal
  // chain: stores the rate and grows the scratch vectors (allocates).
  void prepare(double sampleRate, long maxVectorFrames);

  // Audio thread: one signal vector. ins/outs may hold null entries for
  // signals Max did not supply. Never allocates, locks or waits.
  void perform(const double* const* ins, long inCount, double* const* outs, long outCount,
               long frames) noexcept OMBER_NONBLOCKING;

  // Diagnostics for a host (the headless runner, tests), never used by a
  // patch. logPatches: the audio thread records every Patch it applies with
  // the steady-clock time of the vector that applied it; takeAppliedPatches
  // (one reader thread) moves up to `max` records out and returns how many.
  void logPatches(bool on) { state_.logPatches.store(on, std::memory_order_relaxed); }
  std::size_t takeAppliedPatches(AppliedPatch* out, std::size_t max) noexcept;
  // Writes the player's current buffer as u32 channels, u32 frames and the
  // interleaved f32 samples, little-endian. Only while no perform runs
  // (the buffer belongs to the audio thread). False when the file fails.
  bool writeBuffer(const std::string& path) const;

  InstanceState& state() { return state_; }

 private:
  void applyCommands() noexcept OMBER_NONBLOCKING;
  void renderPlayer(double* const* outs, long outCount, std::size_t frames,
                    double sampleRate) noexcept OMBER_NONBLOCKING;
  void capture(const double* const* ins, long inCount, std::size_t frames,
               double sampleRate) noexcept OMBER_NONBLOCKING;

  InstanceState state_;
  LinkThread link_;
  // Audio thread only.
  CaptureResampler resampler_;
  bool wasCapturing_ = false;
  std::vector<float> scratchLeft_;
  std::vector<float> scratchRight_;
};

}  // namespace omber::external

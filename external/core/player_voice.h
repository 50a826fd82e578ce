// The player: the buffer the engine sent, a fractional play head, looping,
// the swap crossfade, the loop-end blend and the declick.
//
// Everything except the advance flag belongs to the audio thread. The
// advance flag is written by the link thread when a Run frame arrives (ahead
// of queued commands) and read once per rendered vector.
//
// Buffers always count as 48,000 Hz; at another output rate the play head
// moves 48000 / rate frames per output frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "external/core/player_command.h"
#include "external/core/realtime.h"

namespace omber::external {

class PlayerVoice {
 public:
  static constexpr double kBufferRate = 48000.0;
  static constexpr double kSwapFadeFrames = 1200.0;   // 25 ms, linear
  static constexpr double kLoopBlendFrames = 2400.0;  // 50 ms at most, equal power
  static constexpr double kDeclickFrames = 96.0;      // 2 ms at most, raised cosine

  // Blocks a command gives back; the caller sends them to the ReleaseQueue.
  struct Released {
    float* blocks[2] = {nullptr, nullptr};
    int count = 0;
    void add(float* block) noexcept {
      if (block) blocks[count++] = block;
    }
  };

  PlayerVoice() = default;
  ~PlayerVoice();  // frees the current and fading buffers
  PlayerVoice(const PlayerVoice&) = delete;
  PlayerVoice& operator=(const PlayerVoice&) = delete;

  // Audio thread. Takes ownership of command.block; returns the blocks the
  // voice no longer uses. Realtime-safe: never allocates or frees.
  Released apply(const PlayerCommand& command) noexcept OMBER_NONBLOCKING;

  // Audio thread. Writes `frames` frames of the two output channels and
  // moves the play head. Realtime-safe.
  void render(float* left, float* right, std::size_t frames, double sampleRate) noexcept OMBER_NONBLOCKING;

  // Link thread (Run frames); any thread may read it.
  void setAdvancing(bool on) noexcept { advancing_.store(on, std::memory_order_relaxed); }
  bool advancing() const noexcept { return advancing_.load(std::memory_order_relaxed); }

  // Audio-thread state, read by the same thread (and by tests).
  double playHead() const noexcept { return playHead_; }
  std::int32_t swapCount() const noexcept { return swapCount_; }
  std::uint64_t frames() const noexcept { return current_.frames; }
  std::uint16_t channels() const noexcept { return current_.channels; }
  const float* currentSamples() const noexcept { return current_.samples; }
  bool hasFading() const noexcept { return fading_.samples != nullptr; }
  bool crossfading() const noexcept { return crossfading_; }
  bool loopWhole() const noexcept { return loopWhole_; }
  bool wrapped() const noexcept { return wrapped_; }
  double bandStart() const noexcept { return bandStart_; }
  double bandEnd() const noexcept { return bandEnd_; }

 private:
  struct Buffer {
    float* samples = nullptr;
    std::uint64_t frames = 0;
    std::uint16_t channels = 2;
  };

  struct RenderPlan;
  // Renders a run of frames of one kind (plain, loop-end blend, or swap
  // crossfade) away from every boundary; returns how many, 0 when the next
  // frame needs renderFrame. Gives the same samples as renderFrame.
  template <bool Crossfade, bool Stereo>
  std::size_t renderLean(float* left, float* right, std::size_t frames, const RenderPlan& plan) noexcept;
  // Renders one frame with every case handled.
  void renderFrame(float& left, float& right, const RenderPlan& plan) noexcept;
  void applyBand(double startSeconds, double endSeconds) noexcept;
  void fixBandAfterSwap() noexcept;
  void clearBand() noexcept {
    bandStart_ = -1.0;
    bandEnd_ = -1.0;
  }

  Buffer current_;
  Buffer fading_;
  bool crossfading_ = false;
  double crossfadeProgress_ = 0.0;
  double playHead_ = 0.0;
  std::atomic<bool> advancing_{true};
  bool loopWhole_ = true;
  bool wrapped_ = false;
  double bandStart_ = -1.0;
  double bandEnd_ = -1.0;
  std::int32_t swapCount_ = 0;
};

}  // namespace omber::external

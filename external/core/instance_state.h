// What one omber~ instance shares between its three threads: Max's main
// thread, the audio thread and the instance's link thread.
//
// Only atomics and the three single-producer single-consumer rings cross
// threads; see each ring for its producer and consumer. The voice belongs to
// the audio thread except for its advance flag (atomic, set by Run frames).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "external/core/capture_ring.h"
#include "external/core/link_control.h"
#include "external/core/player_command.h"
#include "external/core/player_voice.h"

namespace omber::external {

constexpr std::int32_t kRoleFeeder = 1;  // any other role renders as a player

struct InstanceState {
  // Console output ("omber~: ..." texts). Set before the link thread starts,
  // called from the main and link threads, never from the audio thread.
  using PostFn = std::function<void(const std::string& text)>;

  // captureBytes sizes the capture ring (the default holds about 5.4 s).
  explicit InstanceState(PostFn postFn, std::size_t captureBytes = CaptureRing::kDefaultBytes)
      : post(std::move(postFn)), captureRing(captureBytes) {}
  // Frees the blocks of queued commands and released blocks. Call only when
  // neither the audio thread nor the link thread uses the state any more.
  ~InstanceState();
  InstanceState(const InstanceState&) = delete;
  InstanceState& operator=(const InstanceState&) = delete;

  // Audio thread: hands a block to the link thread for freeing; frees it
  // right away only when the ReleaseQueue is full (the one free that may
  // happen on the audio thread, counted in fallbackFrees).
  void releaseBlock(float* block) noexcept;
  // Link thread: frees every block waiting in the ReleaseQueue.
  void freeReleasedBlocks() noexcept;
  // Link thread, between the slices of a wait: frees the released blocks and
  // tells whether the wait may go on (the instance runs and no new connect
  // or disconnect request waits).
  bool keepWaiting() noexcept {
    freeReleasedBlocks();
    return running.load(std::memory_order_acquire) && !link.pending();
  }

  PostFn post;
  PlayerVoice voice;
  CommandQueue commands;
  ReleaseQueue releases;
  CaptureRing captureRing;
  AppliedPatchLog appliedPatches;  // filled only while logPatches is set

  std::atomic<bool> capturing{false};
  std::atomic<double> reportedPlayHead{0.0};  // seconds
  std::atomic<std::int32_t> reportedSwapCount{0};
  std::atomic<double> sampleRate{48000.0};
  std::atomic<bool> running{true};
  LinkControl link;  // connect and disconnect requests, main -> link thread
  std::atomic<std::int32_t> role{0};
  std::atomic<bool> logPatches{false};
  // Blocks the audio thread had to free itself because the ReleaseQueue was
  // full (a diagnostic: the link thread should never let that happen).
  std::atomic<std::uint64_t> fallbackFrees{0};

  static_assert(std::atomic<double>::is_always_lock_free, "the audio thread may not lock");
  static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the audio thread may not lock");
};

}  // namespace omber::external

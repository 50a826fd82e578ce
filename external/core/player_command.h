// What the link thread hands the audio thread, and the sample blocks that
// travel with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "external/core/spsc_ring.h"

namespace omber::external {

// Sample blocks are plain malloc'd f32 arrays so that either thread can free
// them without knowing who allocated them.
//
// allocateSamples: link/main thread only (allocates); nullptr when the
// memory is not available. A count of 0 still yields a valid block.
float* allocateSamples(std::size_t sampleCount) noexcept;
// freeSamples: not realtime-safe; accepts nullptr.
void freeSamples(float* block) noexcept;

enum class CommandKind : std::uint8_t { Replace = 0, Patch = 1, Swap = 2, Band = 3, Seek = 4, Loop = 5 };

// One queued change to the player. `block` is owned by whoever holds the
// command: the queue, then the audio thread, which gives it back through the
// ReleaseQueue.
struct PlayerCommand {
  CommandKind kind = CommandKind::Replace;
  float* block = nullptr;
  std::uint32_t startFrame = 0;
  std::uint32_t frames = 0;
  std::uint16_t channels = 2;
  double value1 = 0.0;
  double value2 = 0.0;
};

// Link thread -> audio thread. Producer: the link thread; consumer: the audio
// thread. Neither end allocates.
using CommandQueue = SpscRing<PlayerCommand, 2048>;
// Audio thread -> link thread: blocks to free off the audio thread.
// Producer: the audio thread; consumer: the link thread (and the instance's
// free routine once the link thread has ended). Neither end allocates.
using ReleaseQueue = SpscRing<float*, 4096>;

// One Patch the audio thread applied, for a diagnostic log kept only when a
// host asks for it: when (steady clock, nanoseconds), where and how long.
struct AppliedPatch {
  std::int64_t atNanoseconds = 0;
  std::uint32_t startFrame = 0;
  std::uint32_t frames = 0;
};
// Audio thread -> whoever reads the log (the headless host's main loop).
// A full log drops the newest entries, never waits.
using AppliedPatchLog = SpscRing<AppliedPatch, 4096>;

}  // namespace omber::external

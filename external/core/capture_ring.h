// Captured stereo audio from the audio thread to the link thread.
//
// Ownership rule: the audio thread is the only writer, the link thread the
// only reader; each index is written by its own side only, published with
// release order after the bytes and read with acquire order. One byte always
// stays free, so readable = (write - read) mod size and
// writable = size - readable - 1.
//
// Writes take whole 8-byte stereo frames only and drop the newest frames
// that do not fit: a partial frame would shift every later sample by a
// channel or half a float. The reader takes whole frames too, so the ring
// never holds a partial frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "external/core/realtime.h"

namespace omber::external {

class CaptureRing {
 public:
  static constexpr std::size_t kDefaultBytes = 2097152;  // about 5.4 s at 48 kHz
  static constexpr std::size_t kFrameBytes = 8;          // one L, R pair of f32

  // Allocates the zero-filled ring; main thread.
  explicit CaptureRing(std::size_t bytes = kDefaultBytes);

  // Audio thread. Copies as many of the frames as fit, whole frames only;
  // returns how many. Realtime-safe.
  std::size_t writeFrames(const float* stereo, std::size_t frames) noexcept OMBER_NONBLOCKING;

  // Link thread. Copies up to maxBytes (rounded down to whole frames) of the
  // oldest audio into out; returns the bytes copied. Does not allocate.
  std::size_t read(std::uint8_t* out, std::size_t maxBytes) noexcept;

  // Either side; exact only for the calling side's own view.
  std::size_t readable() const noexcept;
  std::size_t capacityBytes() const noexcept { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
  alignas(64) std::atomic<std::size_t> write_{0};
  alignas(64) std::atomic<std::size_t> read_{0};
};

}  // namespace omber::external

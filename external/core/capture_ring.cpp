#include "external/core/capture_ring.h"

#include <algorithm>
#include <cstring>

namespace omber::external {

CaptureRing::CaptureRing(std::size_t bytes) : bytes_(bytes, 0) {}

std::size_t CaptureRing::readable() const noexcept {
  const std::size_t size = bytes_.size();
  const std::size_t write = write_.load(std::memory_order_acquire);
  const std::size_t read = read_.load(std::memory_order_acquire);
  return (write + size - read) % size;
}

std::size_t CaptureRing::writeFrames(const float* stereo, std::size_t frames) noexcept {
  const std::size_t size = bytes_.size();
  const std::size_t write = write_.load(std::memory_order_relaxed);
  const std::size_t read = read_.load(std::memory_order_acquire);
  const std::size_t writable = size - (write + size - read) % size - 1;
  const std::size_t taken = std::min(frames, writable / kFrameBytes);
  const std::size_t count = taken * kFrameBytes;
  if (count == 0) return 0;

  const auto* from = reinterpret_cast<const std::uint8_t*>(stereo);
  const std::size_t first = std::min(count, size - write);
  std::memcpy(bytes_.data() + write, from, first);
  std::memcpy(bytes_.data(), from + first, count - first);
  write_.store((write + count) % size, std::memory_order_release);
  return taken;
}

std::size_t CaptureRing::read(std::uint8_t* out, std::size_t maxBytes) noexcept {
  const std::size_t size = bytes_.size();
  const std::size_t read = read_.load(std::memory_order_relaxed);
  const std::size_t write = write_.load(std::memory_order_acquire);
  const std::size_t available = (write + size - read) % size;
  const std::size_t count = std::min(available, maxBytes) / kFrameBytes * kFrameBytes;
  if (count == 0) return 0;

  const std::size_t first = std::min(count, size - read);
  std::memcpy(out, bytes_.data() + read, first);
  std::memcpy(out + first, bytes_.data(), count - first);
  read_.store((read + count) % size, std::memory_order_release);
  return count;
}

}  // namespace omber::external

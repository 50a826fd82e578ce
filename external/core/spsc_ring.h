// A fixed-size single-producer single-consumer ring of values.
//
// Ownership rule: exactly one thread calls push() and exactly one other
// thread calls pop(); each index is written only by its own side. The
// producer publishes its index with release order after writing the slot,
// the consumer reads it with acquire order (and the other way round for the
// read index), so a popped value is always completely written.
//
// The ring holds Slots - 1 values: it is full when advancing the write index
// would make it equal to the read index. Nothing here allocates, locks or
// waits; both ends are realtime-safe.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace omber::external {

template <typename T, std::size_t Slots>
class SpscRing {
  static_assert(Slots >= 2, "a ring needs at least two slots");

 public:
  static constexpr std::size_t kCapacity = Slots - 1;

  // Producer only. False (and nothing stored) when the ring is full.
  bool push(const T& value) noexcept {
    const std::size_t write = write_.load(std::memory_order_relaxed);
    const std::size_t next = (write + 1) % Slots;
    if (next == read_.load(std::memory_order_acquire)) return false;
    slots_[write] = value;
    write_.store(next, std::memory_order_release);
    return true;
  }

  // Consumer only. False when the ring is empty.
  bool pop(T& out) noexcept {
    const std::size_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) return false;
    out = slots_[read];
    read_.store((read + 1) % Slots, std::memory_order_release);
    return true;
  }

  // Values waiting; exact only when neither side is active.
  std::size_t size() const noexcept {
    const std::size_t write = write_.load(std::memory_order_acquire);
    const std::size_t read = read_.load(std::memory_order_acquire);
    return (write + Slots - read) % Slots;
  }

 private:
  std::array<T, Slots> slots_{};
  alignas(64) std::atomic<std::size_t> write_{0};
  alignas(64) std::atomic<std::size_t> read_{0};
};

}  // namespace omber::external

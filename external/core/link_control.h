// What the main thread asks of the link thread: connect to a port (with an
// optional bridge token) or stay disconnected. Only the latest request
// counts, so "disconnect" followed at once by "connect" ends connected, and
// the other way round ends disconnected.
//
// Thread-safe. The main thread posts, the link thread takes; the audio
// thread never touches it (posting and taking lock a mutex, which only these
// two threads share). pending() is a lock-free load, cheap enough to ask
// between the slices of every wait of the link thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace omber::external {

struct LinkTarget {
  std::uint16_t port = 0;  // 0: stay disconnected
  std::string token;       // empty: send no Token frame
};

class LinkControl {
 public:
  // Main thread. Replaces any request the link thread has not taken yet.
  void connect(std::uint16_t port, std::string token) { post(LinkTarget{port, std::move(token)}); }
  void disconnect() { post(LinkTarget{}); }

  // Any thread: a request is waiting for the link thread.
  bool pending() const { return posted_.load(std::memory_order_acquire) != taken_.load(std::memory_order_acquire); }

  // Link thread: the latest request, when one arrived since the last take.
  std::optional<LinkTarget> take() {
    if (!pending()) return std::nullopt;
    std::lock_guard<std::mutex> guard(lock_);
    taken_.store(posted_.load(std::memory_order_relaxed), std::memory_order_release);
    return latest_;
  }

 private:
  void post(LinkTarget target) {
    std::lock_guard<std::mutex> guard(lock_);
    latest_ = std::move(target);
    posted_.fetch_add(1, std::memory_order_release);
  }

  std::mutex lock_;
  LinkTarget latest_;
  std::atomic<std::uint64_t> posted_{0};
  std::atomic<std::uint64_t> taken_{0};
};

}  // namespace omber::external

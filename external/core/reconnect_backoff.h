// How long the link thread waits before it tries the bridge again after a
// failed connect or a lost connection: the first wait, then twice as long
// each time up to the longest. A connection that stayed up at least the
// longest wait starts the series afresh, so a bridge that keeps refusing
// the instance at once is retried at most every `longest`, while one that
// restarts after a long session is found again quickly.
//
// Link thread only; not thread-safe; realtime-irrelevant (no allocation).
#pragma once

#include <algorithm>
#include <chrono>

namespace omber::external {

class ReconnectBackoff {
 public:
  using Duration = std::chrono::milliseconds;

  ReconnectBackoff(Duration first, Duration longest)
      : first_(first), longest_(std::max(first, longest)), next_(first) {}

  // The wait before the next attempt; each call doubles the following one.
  Duration next() {
    const Duration wait = next_;
    next_ = std::min(next_ * 2, longest_);
    return wait;
  }

  void reset() { next_ = first_; }
  // After a connection that lasted `upFor`: resets when it lasted long enough.
  void connectionEnded(std::chrono::steady_clock::duration upFor) {
    if (upFor >= longest_) reset();
  }

 private:
  Duration first_;
  Duration longest_;
  Duration next_;
};

}  // namespace omber::external

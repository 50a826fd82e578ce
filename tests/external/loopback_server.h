// A bridge stand-in for the link tests: one TCP listener on 127.0.0.1 that
// accepts omber~ connections, collects the frames they send and sends frames
// back. Test-thread only (the stress test gives it its own thread).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/frame.h"

namespace omber::external::testing {

struct ReceivedFrame {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> payload;
};

class LoopbackServer {
 public:
  // Listens on an ephemeral port (or the given one).
  explicit LoopbackServer(std::uint16_t port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::uint16_t port() const { return port_; }

  // Accepts the next connection (closing the current one); false on timeout.
  bool accept(std::chrono::milliseconds timeout);
  bool connected() const { return client_ >= 0; }
  void closeClient();

  // Reads whatever arrives within `wait` and cuts it into frames (kept in
  // frames()). Returns false once the peer has closed.
  bool pump(std::chrono::milliseconds wait);
  // Pumps until `predicate()` holds or the timeout passes.
  template <typename Predicate>
  bool pumpUntil(Predicate predicate, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      if (!pump(std::chrono::milliseconds(5)) && !predicate()) return false;
    }
    return true;
  }

  // True once the peer closes the connection within the timeout.
  bool waitClosed(std::chrono::milliseconds timeout);

  bool send(const std::vector<std::uint8_t>& bytes);
  const std::vector<ReceivedFrame>& frames() const { return frames_; }
  std::vector<ReceivedFrame> framesOfType(link::FrameType type) const;
  // The raw bytes of the current connection, in arrival order.
  const std::vector<std::uint8_t>& rawBytes() const { return raw_; }
  void clear() {
    frames_.clear();
    raw_.clear();
  }

 private:
  int listener_ = -1;
  int client_ = -1;
  std::uint16_t port_ = 0;
  std::unique_ptr<link::FrameReader> reader_;
  std::vector<ReceivedFrame> frames_;
  std::vector<std::uint8_t> raw_;
};

// A port on which nothing listens (bound once, then closed).
std::uint16_t unusedPort();

}  // namespace omber::external::testing

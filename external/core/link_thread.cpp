#include "external/core/link_thread.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "external/core/reconnect_backoff.h"
#include "external/core/socket.h"
#include "link/frame.h"

namespace omber::external {

namespace {

using Clock = std::chrono::steady_clock;

// One connection to the bridge: the socket and the reader cutting its
// stream. Dropping it closes the socket and discards any partial frame.
class Connection {
 public:
  Connection(net::Socket socket, FrameTranslator& translator)
      : socket_(socket), reader_([&translator](std::uint8_t type, const std::uint8_t* payload, std::uint64_t size) {
          translator.handle(type, payload, size);
        }) {}
  ~Connection() { net::closeSocket(socket_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  net::Socket socket() const { return socket_; }
  link::FrameReader& reader() { return reader_; }
  // False when the connection failed or the wait for the bridge to take the
  // bytes was cut short by a request or by free; either way it is done.
  bool send(const std::vector<std::uint8_t>& frame, InstanceState& state) {
    return net::sendAll(socket_, frame.data(), frame.size(), [&state] { return state.keepWaiting(); });
  }

 private:
  net::Socket socket_;
  link::FrameReader reader_;
};

std::string withPort(const char* text, int port) { return std::string(text) + std::to_string(port); }

// The thread's own state and one pass of its loop.
class LinkLoop {
 public:
  LinkLoop(InstanceState& state, const LinkThread::Timing& timing)
      : state_(state),
        timing_(timing),
        translator_(state, timing.commands),
        backoff_(timing.reconnectFirst, timing.reconnectLongest),
        received_(LinkThread::kReceiveBytes),
        upload_(LinkThread::kUploadBytes / sizeof(float)),
        lastReport_(Clock::now()) {}

  void pass() {
    if (auto request = state_.link.take()) {
      connection_.reset();
      target_ = std::move(*request);
      backoff_.reset();
      nextAttempt_ = Clock::now();
      failurePosted_ = false;
    }
    state_.freeReleasedBlocks();
    if (!connection_) {
      if (target_.port != 0 && Clock::now() >= nextAttempt_) open();
      if (!connection_) {
        idle();
        return;
      }
    }
    if (receive() && reportPosition()) uploadCapture();
  }

  // After memory ran out somewhere in a pass: the connection (whose frame
  // could not be held) is given up and tried again later.
  void outOfMemory() noexcept {
    connection_.reset();
    try {
      state_.post("omber~: out of memory, link closed");
    } catch (...) {
    }
    nextAttempt_ = Clock::now() + backoff_.next();
  }

 private:
  void idle() {
    auto wait = std::chrono::duration_cast<Clock::duration>(timing_.idleSleep);
    if (target_.port != 0) wait = std::min(wait, std::max(Clock::duration::zero(), nextAttempt_ - Clock::now()));
    std::this_thread::sleep_for(wait);
  }

  void open() {
    const net::Socket socket = net::connectLoopback(target_.port, static_cast<int>(timing_.connectTimeout.count()),
                                                    [this] { return state_.keepWaiting(); });
    if (socket == net::kNoSocket) {
      if (!state_.keepWaiting()) return;  // cut short: the next pass takes the request
      if (!failurePosted_) state_.post(withPort("omber~: connect to port ", target_.port) + " failed");
      failurePosted_ = true;  // retries fail silently until one succeeds
      nextAttempt_ = Clock::now() + backoff_.next();
      return;
    }
    connection_ = std::make_unique<Connection>(socket, translator_);
    connectedAt_ = Clock::now();
    const auto role = static_cast<std::uint8_t>(state_.role.load(std::memory_order_relaxed) & 0xff);
    const auto rate = static_cast<std::int32_t>(state_.sampleRate.load(std::memory_order_relaxed));
    // The bridge expects the token as the very first frame, then the Hello.
    if ((!target_.token.empty() && !connection_->send(link::encodeToken(target_.token), state_)) ||
        !connection_->send(link::encodeHello(role, rate, 2), state_)) {
      lose(nullptr);
      return;
    }
    failurePosted_ = false;
    state_.post(withPort("omber~: connected to 127.0.0.1:", target_.port));
  }

  // Closes the connection (posting `text` if any) and plans the next attempt.
  void lose(const char* text) {
    if (text) state_.post(text);
    connection_.reset();
    backoff_.connectionEnded(Clock::now() - connectedAt_);
    nextAttempt_ = Clock::now() + backoff_.next();
  }

  bool receive() {
    if (!net::waitReadable(connection_->socket(), static_cast<int>(timing_.receiveWait.count()))) return true;
    const long got = net::receiveSome(connection_->socket(), received_.data(), received_.size());
    if (got == net::kNothingToReceive) return true;
    if (got <= 0) {
      lose("omber~: bridge closed the link");
      return false;
    }
    // A frame too large for the memory left also fails the reader.
    if (!connection_->reader().feed(received_.data(), static_cast<std::size_t>(got))) {
      lose("omber~: link framing error");
      return false;
    }
    return true;
  }

  bool reportPosition() {
    const auto now = Clock::now();
    if (now - lastReport_ < timing_.positionInterval) return true;
    lastReport_ = now;
    const double playHead = state_.reportedPlayHead.load(std::memory_order_relaxed);
    if (playHead == lastSentPlayHead_) return true;  // a NaN on either side counts as different
    const std::int32_t swaps = state_.reportedSwapCount.load(std::memory_order_relaxed);
    if (!connection_->send(link::encodePosition(playHead, swaps), state_)) {
      lose(nullptr);
      return false;
    }
    lastSentPlayHead_ = playHead;
    return true;
  }

  void uploadCapture() {
    if (state_.captureRing.readable() < LinkThread::kUploadMinimumBytes) return;
    auto* bytes = reinterpret_cast<std::uint8_t*>(upload_.data());
    const std::size_t got = state_.captureRing.read(bytes, LinkThread::kUploadBytes);
    if (got < CaptureRing::kFrameBytes) return;
    const auto frames = static_cast<std::uint32_t>(got / CaptureRing::kFrameBytes);
    if (!connection_->send(link::encodeCapturePcm(upload_.data(), frames), state_)) lose(nullptr);
  }

  InstanceState& state_;
  const LinkThread::Timing& timing_;
  FrameTranslator translator_;  // outlives the connection whose reader calls it
  ReconnectBackoff backoff_;
  std::vector<std::uint8_t> received_;
  std::vector<float> upload_;
  LinkTarget target_;  // port 0: stay disconnected
  std::unique_ptr<Connection> connection_;
  Clock::time_point nextAttempt_{};
  Clock::time_point connectedAt_{};
  bool failurePosted_ = false;
  Clock::time_point lastReport_;
  double lastSentPlayHead_ = -1.0;  // kept across reconnects
};

}  // namespace

void LinkThread::start() {
  thread_ = std::thread([this] { run(); });
}

void LinkThread::join() {
  if (thread_.joinable()) thread_.join();
}

void LinkThread::run() noexcept {
  // Nothing may leave this thread: an exception would end the host process.
  std::unique_ptr<LinkLoop> loop;
  try {
    loop = std::make_unique<LinkLoop>(state_, timing_);
  } catch (...) {
    try {
      state_.post("omber~: out of memory, no link");
    } catch (...) {
    }
    return;
  }
  while (state_.running.load(std::memory_order_acquire)) {
    try {
      loop->pass();
    } catch (...) {
      loop->outOfMemory();  // allocation is the one thing that throws here
      std::this_thread::sleep_for(timing_.idleSleep);
    }
  }
}

}  // namespace omber::external

#include "external/core/link_thread.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

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
      : socket_(socket),
        reader_([&translator](std::uint8_t type, const std::uint8_t* payload, std::uint64_t size) {
          translator.handle(type, payload, size);
        }) {}
  ~Connection() { net::closeSocket(socket_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  net::Socket socket() const { return socket_; }
  link::FrameReader& reader() { return reader_; }
  bool send(const std::vector<std::uint8_t>& frame) { return net::sendAll(socket_, frame.data(), frame.size()); }

 private:
  net::Socket socket_;
  link::FrameReader reader_;
};

std::string withPort(const char* text, int port) { return std::string(text) + std::to_string(port); }

}  // namespace

void LinkThread::start() { thread_ = std::thread([this] { run(); }); }

void LinkThread::join() {
  if (thread_.joinable()) thread_.join();
}

void LinkThread::run() {
  FrameTranslator translator(state_, timing_.commands);
  std::unique_ptr<Connection> connection;
  std::vector<std::uint8_t> received(kReceiveBytes);
  std::vector<float> upload(kUploadBytes / sizeof(float));
  auto lastReport = Clock::now();
  double lastSentPlayHead = -1.0;  // kept across reconnects

  while (state_.running.load(std::memory_order_acquire)) {
    const std::int32_t port = state_.pendingPort.exchange(0, std::memory_order_acq_rel);
    if (port > 0) {
      connection.reset();
      const net::Socket socket = net::connectLoopback(static_cast<std::uint16_t>(port));
      if (socket == net::kNoSocket) {
        state_.post(withPort("omber~: connect to port ", port) + " failed");
      } else {
        connection = std::make_unique<Connection>(socket, translator);
        const auto role = static_cast<std::uint8_t>(state_.role.load(std::memory_order_relaxed) & 0xff);
        const auto rate = static_cast<std::int32_t>(state_.sampleRate.load(std::memory_order_relaxed));
        connection->send(link::encodeHello(role, rate, 2));  // a failure shows at the next receive
        state_.post(withPort("omber~: connected to 127.0.0.1:", port));
      }
    }

    if (state_.disconnectRequested.exchange(false, std::memory_order_acq_rel)) connection.reset();

    state_.freeReleasedBlocks();

    if (!connection) {
      std::this_thread::sleep_for(timing_.idleSleep);
      continue;
    }

    if (net::waitReadable(connection->socket(), static_cast<int>(timing_.receiveWait.count()))) {
      const long got = net::receiveSome(connection->socket(), received.data(), received.size());
      if (got <= 0) {
        state_.post("omber~: bridge closed the link");
        connection.reset();
        continue;
      }
      if (!connection->reader().feed(received.data(), static_cast<std::size_t>(got))) {
        state_.post("omber~: link framing error");
        connection.reset();
        continue;
      }
    }

    const auto now = Clock::now();
    if (now - lastReport >= timing_.positionInterval) {
      lastReport = now;
      const double playHead = state_.reportedPlayHead.load(std::memory_order_relaxed);
      if (!(playHead == lastSentPlayHead)) {  // a NaN on either side counts as different
        const std::int32_t swaps = state_.reportedSwapCount.load(std::memory_order_relaxed);
        if (!connection->send(link::encodePosition(playHead, swaps))) {
          connection.reset();
          continue;
        }
        lastSentPlayHead = playHead;
      }
    }

    if (state_.captureRing.readable() >= kUploadMinimumBytes) {
      auto* bytes = reinterpret_cast<std::uint8_t*>(upload.data());
      const std::size_t got = state_.captureRing.read(bytes, kUploadBytes);
      if (got >= CaptureRing::kFrameBytes) {
        const auto frames = static_cast<std::uint32_t>(got / CaptureRing::kFrameBytes);
        if (!connection->send(link::encodeCapturePcm(upload.data(), frames))) connection.reset();
      }
    }
  }
}

}  // namespace omber::external

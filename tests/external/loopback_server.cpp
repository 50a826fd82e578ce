#include "loopback_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <stdexcept>

namespace omber::external::testing {

namespace {

#ifdef _WIN32
// Winsock, started for the whole test program; its names for close and poll.
const struct WinsockStarted {
  WinsockStarted() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
} winsock;
int close(int fd) { return closesocket(static_cast<SOCKET>(fd)); }
int poll(pollfd* entries, unsigned long count, int timeoutMs) { return WSAPoll(entries, count, timeoutMs); }
constexpr int MSG_NOSIGNAL = 0;
#elif defined(__APPLE__)
constexpr int MSG_NOSIGNAL = 0;  // SO_NOSIGPIPE on the accepted socket instead
#endif

int listenOn(std::uint16_t port, std::uint16_t& bound) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
    close(fd);
    throw std::runtime_error("bind/listen");
  }
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  bound = ntohs(address.sin_port);
  return fd;
}

bool readable(int fd, std::chrono::milliseconds wait) {
  pollfd entry{};
  entry.fd = fd;
  entry.events = POLLIN;
  return poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

}  // namespace

LoopbackServer::LoopbackServer(std::uint16_t port) { listener_ = listenOn(port, port_); }

LoopbackServer::~LoopbackServer() {
  closeClient();
  close(listener_);
}

bool LoopbackServer::accept(std::chrono::milliseconds timeout) {
  if (!readable(listener_, timeout)) return false;
  const int fd = ::accept(listener_, nullptr, nullptr);
  if (fd < 0) return false;
#if defined(__APPLE__)
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  closeClient();
  client_ = fd;
  reader_ =
      std::make_unique<link::FrameReader>([this](std::uint8_t type, const std::uint8_t* payload, std::uint64_t size) {
        frames_.push_back({type, std::vector<std::uint8_t>(payload, payload + size)});
      });
  return true;
}

void LoopbackServer::closeClient() {
  if (client_ >= 0) close(client_);
  client_ = -1;
}

bool LoopbackServer::pump(std::chrono::milliseconds wait) {
  if (client_ < 0) return false;
  if (!readable(client_, wait)) return true;
  std::uint8_t buffer[65536];
  const auto got = recv(client_, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
  if (got <= 0) return false;
  raw_.insert(raw_.end(), buffer, buffer + got);
  return reader_->feed(buffer, static_cast<std::size_t>(got));
}

bool LoopbackServer::waitClosed(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (!pump(std::chrono::milliseconds(5))) return true;
  }
  return false;
}

bool LoopbackServer::send(const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto sent = ::send(client_, reinterpret_cast<const char*>(bytes.data()) + done,
                             static_cast<int>(bytes.size() - done), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

std::vector<ReceivedFrame> LoopbackServer::framesOfType(link::FrameType type) const {
  std::vector<ReceivedFrame> found;
  for (const auto& frame : frames_) {
    if (frame.type == static_cast<std::uint8_t>(type)) found.push_back(frame);
  }
  return found;
}

std::uint16_t unusedPort() {
  std::uint16_t port = 0;
  close(listenOn(0, port));
  return port;
}

}  // namespace omber::external::testing

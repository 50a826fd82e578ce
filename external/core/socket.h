// The few socket operations the link thread needs, over POSIX sockets or
// Windows sockets behind one interface. Every function is thread-safe for
// distinct sockets and none is realtime-safe.
//
// On Windows a SocketRuntime must live while sockets are used (the module
// keeps one from load to unload: WSAStartup 2.2 / WSACleanup); on POSIX it
// does nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace omber::external::net {

#ifdef _WIN32
using Socket = SOCKET;
inline const Socket kNoSocket = INVALID_SOCKET;
#else
using Socket = int;
inline constexpr Socket kNoSocket = -1;
#endif

class SocketRuntime {
 public:
  SocketRuntime() {
#ifdef _WIN32
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    started_ = true;
#endif
  }
  ~SocketRuntime() {
#ifdef _WIN32
    if (started_) WSACleanup();
#endif
  }
  SocketRuntime(const SocketRuntime&) = delete;
  SocketRuntime& operator=(const SocketRuntime&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

inline void closeSocket(Socket socket) noexcept {
  if (socket == kNoSocket) return;
#ifdef _WIN32
  closesocket(socket);
#else
  close(socket);
#endif
}

// A TCP connection to 127.0.0.1:port with TCP_NODELAY on, or kNoSocket when
// the connection fails (at once when nothing listens there).
inline Socket connectLoopback(std::uint16_t port) noexcept {
  const Socket socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == kNoSocket) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    closeSocket(socket);
    return kNoSocket;
  }
  int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
#ifdef __APPLE__
  setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  return socket;
}

// Waits up to timeoutMicroseconds for bytes (or a close) to read. True when
// a receive will not block. poll() on POSIX: select() cannot watch a
// descriptor numbered FD_SETSIZE or above, which a busy host process reaches.
inline bool waitReadable(Socket socket, int timeoutMicroseconds) noexcept {
#ifdef _WIN32
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval timeout{0, timeoutMicroseconds};
  return select(0, &readable, nullptr, nullptr, &timeout) > 0 && FD_ISSET(socket, &readable);
#else
  pollfd entry{socket, POLLIN, 0};
  const int milliseconds = (timeoutMicroseconds + 999) / 1000;
  const int ready = poll(&entry, 1, milliseconds);
  return ready > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
#endif
}

// Bytes received (> 0), or 0 or less when the peer closed or the connection
// failed. A receive interrupted by a signal is repeated.
inline long receiveSome(Socket socket, std::uint8_t* into, std::size_t capacity) noexcept {
#ifdef _WIN32
  return recv(socket, reinterpret_cast<char*>(into), static_cast<int>(capacity), 0);
#else
  for (;;) {
    const ssize_t got = recv(socket, into, capacity, 0);
    if (got < 0 && errno == EINTR) continue;
    return static_cast<long>(got);
  }
#endif
}

// Sends every byte; false when a send takes nothing (the connection failed).
inline bool sendAll(Socket socket, const std::uint8_t* bytes, std::size_t count) noexcept {
  while (count > 0) {
#ifdef _WIN32
    const int chunk = count > 0x40000000 ? 0x40000000 : static_cast<int>(count);
    const long sent = send(socket, reinterpret_cast<const char*>(bytes), chunk, 0);
#else
#ifdef MSG_NOSIGNAL
    const long sent = static_cast<long>(send(socket, bytes, count, MSG_NOSIGNAL));
#else
    const long sent = static_cast<long>(send(socket, bytes, count, 0));
#endif
    if (sent < 0 && errno == EINTR) continue;
#endif
    if (sent <= 0) return false;
    bytes += sent;
    count -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace omber::external::net

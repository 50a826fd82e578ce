// The few socket operations the link thread needs, over POSIX sockets or
// Windows sockets behind one interface. Every function is thread-safe for
// distinct sockets and none is realtime-safe; none blocks for longer than
// the time it is given.
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
#include <fcntl.h>
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

// Every socket is non-blocking, so that no call here can hold the link
// thread for longer than one wait slice: a wait for room to send or for a
// connection to complete looks at `keepWaiting()` between slices and gives
// up as soon as it returns false.
constexpr int kWaitSliceMilliseconds = 5;

inline bool setNonBlocking(Socket socket) noexcept {
#ifdef _WIN32
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
#else
  const int flags = fcntl(socket, F_GETFL, 0);
  return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
#endif
}

inline bool wouldBlock() noexcept {
#ifdef _WIN32
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
#else
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS;
#endif
}

// Waits up to `milliseconds` until the socket can be written (or has
// failed). True when a send or a connect result is ready.
inline bool waitWritable(Socket socket, int milliseconds) noexcept {
#ifdef _WIN32
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);  // a failed non-blocking connect shows here
  timeval timeout{0, milliseconds * 1000};
  return select(0, nullptr, &writable, &failed, &timeout) > 0;
#else
  pollfd entry{socket, POLLOUT, 0};
  return poll(&entry, 1, milliseconds) > 0;
#endif
}

// A TCP connection to 127.0.0.1:port with TCP_NODELAY on, non-blocking, or
// kNoSocket when the connection fails (at once when nothing listens there),
// takes longer than `timeoutMilliseconds`, or `keepWaiting()` turns false.
template <typename KeepWaiting>
Socket connectLoopback(std::uint16_t port, int timeoutMilliseconds, KeepWaiting&& keepWaiting) {
  const Socket socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == kNoSocket) return kNoSocket;
  if (!setNonBlocking(socket)) {
    closeSocket(socket);
    return kNoSocket;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    bool done = false;
    const bool underWay = wouldBlock();  // anything else failed at once (refused)
    for (int waited = 0; underWay && !done && waited < timeoutMilliseconds && keepWaiting();
         waited += kWaitSliceMilliseconds) {
      if (!waitWritable(socket, kWaitSliceMilliseconds)) continue;
      int error = 0;
#ifdef _WIN32
      int size = sizeof error;
#else
      socklen_t size = sizeof error;
#endif
      getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
      if (error != 0) break;
      done = true;
    }
    if (!done) {
      closeSocket(socket);
      return kNoSocket;
    }
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

constexpr long kNothingToReceive = -2;

// Bytes received (> 0), 0 when the peer closed, kNothingToReceive when no
// byte is waiting after all, any other negative value when the connection
// failed. A receive interrupted by a signal is repeated.
inline long receiveSome(Socket socket, std::uint8_t* into, std::size_t capacity) noexcept {
#ifdef _WIN32
  const long got = recv(socket, reinterpret_cast<char*>(into), static_cast<int>(capacity), 0);
  if (got < 0 && wouldBlock()) return kNothingToReceive;
  return got < 0 ? -1 : got;
#else
  for (;;) {
    const ssize_t got = recv(socket, into, capacity, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && wouldBlock()) return kNothingToReceive;
    return got < 0 ? -1 : static_cast<long>(got);
  }
#endif
}

// Sends every byte. While the peer takes nothing it waits in slices and asks
// `keepWaiting()` between them. False when the connection failed or
// `keepWaiting()` said stop (the frame is then cut short: drop the
// connection).
template <typename KeepWaiting>
bool sendAll(Socket socket, const std::uint8_t* bytes, std::size_t count, KeepWaiting&& keepWaiting) {
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
    if (sent < 0 && wouldBlock()) {
      if (!keepWaiting()) return false;
      waitWritable(socket, kWaitSliceMilliseconds);
      continue;
    }
    if (sent <= 0) return false;
    bytes += sent;
    count -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace omber::external::net

// Memory running out while the link thread collects a frame: the frame is
// dropped and the connection closed like a framing error, and the host
// process lives on. The allocator of this program refuses every request of
// 64 MiB or more while `g_refuseLarge` is set (so in a program of its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "external/core/instance.h"
#include "link/frame.h"
#include "loopback_server.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

namespace {

std::atomic<bool> g_refuseLarge{false};
constexpr std::size_t kLarge = std::size_t{64} << 20;

bool refused(std::size_t size) { return g_refuseLarge.load(std::memory_order_relaxed) && size >= kLarge; }

void* allocateOrThrow(std::size_t size) {
  void* p = refused(size) ? nullptr : __libc_malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
  if (refused(size)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  if (size && count > kLarge / size && refused(kLarge)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  if (refused(size)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(p, size);
}
}  // extern "C"

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return refused(size) ? nullptr : __libc_malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return refused(size) ? nullptr : __libc_malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace omber::external {
namespace {

using namespace std::chrono_literals;
using link::FrameType;
using testing::LoopbackServer;

struct RefuseLarge {
  RefuseLarge() { g_refuseLarge = true; }
  ~RefuseLarge() { g_refuseLarge = false; }
};

// The first `bytes` of a legal Init of 256 MiB (33,554,430 stereo frames),
// in 64 KiB pieces.
template <typename Send>
void sendHugeInitStart(std::size_t bytes, Send&& send) {
  const std::uint32_t frames = (link::kMaxFrameLength - 11) / 8;
  std::vector<std::uint8_t> piece;
  const std::size_t start = link::beginFrame(piece, FrameType::Init);
  link::putU32(piece, 48000);
  link::putU16(piece, 2);
  link::putU32(piece, frames);
  const std::uint32_t length = 1 + 10 + frames * 8;
  for (int i = 0; i < 4; ++i) piece[start + i] = static_cast<std::uint8_t>(length >> (8 * i));
  piece.resize(65536, 0x3f);
  for (std::size_t sent = 0; sent < bytes; sent += piece.size()) {
    if (!send(piece)) return;
    std::fill(piece.begin(), piece.begin() + 15, 0x3f);  // later pieces hold samples only
  }
}

TEST(OutOfMemory, TheReaderFailsInsteadOfThrowingOnTheOmberSide) {
  RefuseLarge refuse;
  std::vector<std::uint8_t> stream;
  link::FrameReader reader(nullptr);
  bool ok = true;
  sendHugeInitStart(std::size_t{80} << 20, [&](const std::vector<std::uint8_t>& piece) {
    ok = reader.feed(piece.data(), piece.size());
    return ok;
  });
  EXPECT_FALSE(ok);
  EXPECT_TRUE(reader.failed());
  EXPECT_TRUE(reader.outOfMemory());
  EXPECT_EQ(reader.capacity(), 0u);  // a failed reader lets go of its memory

  // The engine's flavour keeps reporting memory as memory.
  link::FrameReader engineSide(nullptr);
  bool threw = false;
  sendHugeInitStart(std::size_t{80} << 20, [&](const std::vector<std::uint8_t>& piece) {
    try {
      engineSide.feedOrThrow(piece.data(), piece.size());
      return true;
    } catch (const std::bad_alloc&) {
      threw = true;
      return false;
    }
  });
  EXPECT_TRUE(threw);
}

TEST(OutOfMemory, AFrameTooLargeForTheMemoryLeftClosesTheLinkAndTheInstanceLivesOn) {
  std::mutex lock;
  std::vector<std::string> posts;
  Instance instance([&](const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    posts.push_back(text);
  });
  auto posted = [&](const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
      {
        std::lock_guard<std::mutex> guard(lock);
        if (std::find(posts.begin(), posts.end(), text) != posts.end()) return true;
      }
      std::this_thread::sleep_for(2ms);
    }
    return false;
  };
  instance.prepare(48000.0, 64);
  instance.start(false);
  LoopbackServer server;
  instance.connect(server.port());
  ASSERT_TRUE(server.accept(3000ms));
  {
    RefuseLarge refuse;
    sendHugeInitStart(std::size_t{96} << 20,
                      [&](const std::vector<std::uint8_t>& piece) { return server.send(piece); });
    ASSERT_TRUE(posted("omber~: link framing error"));
  }
  EXPECT_TRUE(server.waitClosed(1000ms));

  // The link thread goes on: it comes back and takes a buffer.
  server.clear();
  ASSERT_TRUE(server.accept(3000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  const std::vector<float> samples(2 * 480, 0.5f);
  server.send(link::encodeBuffer(FrameType::Init, samples.data(), samples.size(), 2, 48000));
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (instance.state().commands.size() == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(instance.state().commands.size(), 1u);
}

}  // namespace
}  // namespace omber::external

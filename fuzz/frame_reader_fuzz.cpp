// Fuzzes the link frame reader: the input is fed whole to one reader and in
// chunks (sizes taken from the input itself) to another; both must hand over
// the same frames and agree on failure, and neither may hold room for much
// more than it was fed (a length only announced reserves nothing).
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "link/frame.h"

namespace {

struct Log {
  std::vector<std::uint8_t> bytes;  // type, size, payload of every frame in order
  void operator()(std::uint8_t type, const std::uint8_t* p, std::uint64_t n) {
    bytes.push_back(type);
    bytes.insert(bytes.end(), reinterpret_cast<const std::uint8_t*>(&n), reinterpret_cast<const std::uint8_t*>(&n) + 8);
    bytes.insert(bytes.end(), p, p + n);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A small cap keeps the reader's buffer within the fuzzer's memory budget
  // while every code path stays reachable.
  constexpr std::uint32_t kCap = 1 << 16;
  Log whole, chunked;
  omber::link::FrameReader a([&](std::uint8_t t, const std::uint8_t* p, std::uint64_t n) { whole(t, p, n); }, kCap);
  omber::link::FrameReader b([&](std::uint8_t t, const std::uint8_t* p, std::uint64_t n) { chunked(t, p, n); }, kCap);
  const bool okWhole = a.feed(data, size);
  bool okChunked = true;
  std::size_t pos = 0;
  for (std::size_t i = 0; pos < size && okChunked; ++i) {
    const std::size_t n = std::min<std::size_t>(size - pos, 1 + data[i % size] % 37);
    okChunked = b.feed(data + pos, n);
    pos += n;
    if (b.capacity() > std::max<std::size_t>(4096, 2 * pos)) std::abort();
  }
  if (a.capacity() > std::max<std::size_t>(4096, 2 * size)) std::abort();
  if (okWhole != okChunked || whole.bytes != chunked.bytes) std::abort();
  if (okWhole && a.buffered() != b.buffered()) std::abort();
  return 0;
}

#include "link/frame.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <stdexcept>

namespace omber::link {

void putU8(std::vector<std::uint8_t>& out, std::uint8_t v) { out.push_back(v); }

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putI32(std::vector<std::uint8_t>& out, std::int32_t v) { putU32(out, static_cast<std::uint32_t>(v)); }

void putF64(std::vector<std::uint8_t>& out, double v) {
  std::uint8_t b[8];
  std::memcpy(b, &v, sizeof b);
  out.insert(out.end(), b, b + 8);
}

void putF32s(std::vector<std::uint8_t>& out, const float* samples, std::size_t count) {
  if (!samples || count == 0) return;
  // insert copies straight into the reserved room; resize would first zero it.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples);
  out.insert(out.end(), bytes, bytes + count * sizeof(float));
}

std::size_t beginFrame(std::vector<std::uint8_t>& out, FrameType type, std::size_t payloadHint) {
  const std::size_t start = out.size();
  out.reserve(start + kHeaderBytes + payloadHint);
  putU32(out, 0);  // patched by finishFrame
  putU8(out, static_cast<std::uint8_t>(type));
  return start;
}

void finishFrame(std::vector<std::uint8_t>& out, std::size_t frameStart) {
  const auto length = static_cast<std::uint32_t>(out.size() - frameStart - kLengthBytes);
  for (int i = 0; i < 4; ++i) out[frameStart + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

std::vector<std::uint8_t> encodeFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t size) {
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderBytes + size);
  putU32(out, static_cast<std::uint32_t>(size + 1));
  putU8(out, type);
  if (size) out.insert(out.end(), payload, payload + size);
  return out;
}

std::vector<std::uint8_t> encodeFrame(FrameType type, const std::vector<std::uint8_t>& payload) {
  return encodeFrame(static_cast<std::uint8_t>(type), payload.data(), payload.size());
}

std::vector<std::uint8_t> encodeBuffer(FrameType type, const float* samples, std::size_t sampleCount,
                                       std::int32_t channels, std::uint32_t sampleRate) {
  const std::int32_t ch = std::max<std::int32_t>(channels, 1);
  // The count goes out in 16 bits: a larger one would announce another
  // number, so no frame is made (an empty result).
  if (static_cast<std::uint32_t>(ch) > kMaxChannels) return {};
  const std::size_t count = samples ? sampleCount : 0;
  const std::size_t frames = count / static_cast<std::size_t>(ch);
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, type, 10 + count * sizeof(float));
  putU32(out, sampleRate);
  putU16(out, static_cast<std::uint16_t>(ch));
  putU32(out, static_cast<std::uint32_t>(frames));
  putF32s(out, samples, count);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodePatch(std::uint32_t startFrame, const float* stereo, std::size_t frames) {
  const std::size_t count = stereo ? frames * 2 : 0;
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, FrameType::Patch, 4 + count * sizeof(float));
  putU32(out, startFrame);
  putF32s(out, stereo, count);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodeBand(double startSeconds, double endSeconds) {
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, FrameType::Band, 16);
  putF64(out, startSeconds);
  putF64(out, endSeconds);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodeSeek(double seconds) {
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, FrameType::Seek, 8);
  putF64(out, seconds);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodeFlag(FrameType type, bool on) {
  const std::uint8_t flag = on ? 1 : 0;
  return encodeFrame(static_cast<std::uint8_t>(type), &flag, 1);
}

std::vector<std::uint8_t> encodeHello(std::uint8_t role, std::int32_t sampleRate, std::uint16_t channels) {
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, FrameType::Hello, 7);
  putU8(out, role);
  putI32(out, sampleRate);
  putU16(out, channels);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodePosition(double playHeadSeconds, std::int32_t swapCount) {
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, FrameType::Position, 12);
  putF64(out, playHeadSeconds);
  putI32(out, swapCount);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodeCapturePcm(const float* stereo, std::uint32_t frames) {
  const std::size_t count = stereo ? static_cast<std::size_t>(frames) * 2 : 0;
  std::vector<std::uint8_t> out;
  const std::size_t start = beginFrame(out, FrameType::CapturePcm, 4 + count * sizeof(float));
  putU32(out, stereo ? frames : 0);
  putF32s(out, stereo, count);
  finishFrame(out, start);
  return out;
}

std::vector<std::uint8_t> encodeToken(const std::string& token) {
  return encodeFrame(static_cast<std::uint8_t>(FrameType::Token), reinterpret_cast<const std::uint8_t*>(token.data()),
                     token.size());
}

// ---- FrameReader ----

namespace {

// memcpy, except when the destination lies just past the source modulo 4 KiB:
// there the C library's string-move copy of a large block runs up to 20
// times slower on some x86 cores (4K aliasing), and a plain vector loop does
// not. Socket chunks land at any address, so the reader meets this relation
// by chance; a 23 MB frame must not stall on it.
void copyBytes(std::uint8_t* dst, const std::uint8_t* src, std::size_t count) {
  // The distance from source to destination modulo 4 KiB, computed from the
  // two page offsets so that nothing wraps around.
  const std::uintptr_t dstPage = reinterpret_cast<std::uintptr_t>(dst) & 4095u;
  const std::uintptr_t srcPage = reinterpret_cast<std::uintptr_t>(src) & 4095u;
  const std::uintptr_t skew = (dstPage + 4096u - srcPage) & 4095u;
  std::size_t i = 0;
#ifdef __SSE2__
  if (count >= 4096 && skew != 0 && skew < 128) {
    for (; i + 64 <= count; i += 64) {
      const auto* s = reinterpret_cast<const __m128i*>(src + i);
      auto* d = reinterpret_cast<__m128i*>(dst + i);
      const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
      const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
      _mm_storeu_si128(d, a);
      _mm_storeu_si128(d + 1, b);
      _mm_storeu_si128(d + 2, c);
      _mm_storeu_si128(d + 3, e);
    }
  }
#else
  (void)skew;
#endif
  std::memcpy(dst + i, src + i, count - i);
}

}  // namespace

void FrameReader::Buffer::Free::operator()(std::uint8_t* p) const noexcept { std::free(p); }

bool FrameReader::Buffer::reserve(std::size_t needed, std::size_t ceiling) noexcept {
  if (needed <= capacity) return true;
  constexpr std::size_t kSmallest = 4096;
  const std::size_t grown = std::max(needed, std::min(std::max(capacity * 2, kSmallest), ceiling));
  void* larger;
  if (size) {
    // realloc keeps the bytes (a large block's pages are moved, not copied)
    // and leaves the old block alone when it fails.
    larger = std::realloc(bytes.get(), grown);
    if (!larger) return false;
    (void)bytes.release();
  } else {
    bytes.reset();  // nothing to keep: free first, so both never coexist
    capacity = 0;
    larger = std::malloc(grown);
    if (!larger) return false;
  }
  bytes.reset(static_cast<std::uint8_t*>(larger));
  capacity = grown;
  return true;
}

bool FrameReader::Buffer::append(const std::uint8_t* data, std::size_t count, std::size_t ceiling) noexcept {
  if (count == 0) return true;
  if (!reserve(size + count, ceiling)) return false;
  copyBytes(bytes.get() + size, data, count);
  size += count;
  return true;
}

void FrameReader::Buffer::release() noexcept {
  bytes.reset();
  size = capacity = 0;
}

FrameReader::FrameReader(Handler handler, std::uint32_t maxLength)
    : handler_(handler ? std::move(handler) : Handler([](std::uint8_t, const std::uint8_t*, std::uint64_t) {})),
      maxLength_(maxLength) {}

bool FrameReader::feed(const std::uint8_t* data, std::size_t count) {
  if (feeding_) {
    // Re-entered from the handler: the outer call still owns the buffer.
    failed_ = true;
    return false;
  }
  if (failed_) return false;
  feeding_ = true;
  bool ok;
  try {
    ok = feedImpl(data, count);
  } catch (...) {
    feeding_ = false;
    failed_ = true;
    pending_.release();  // a failed reader is dead: free its buffer
    throw;
  }
  feeding_ = false;
  if (!ok || failed_) {
    failed_ = true;
    pending_.release();
    return false;
  }
  return true;
}

void FrameReader::feedOrThrow(const std::uint8_t* data, std::size_t count) {
  if (feed(data, count)) return;
  if (outOfMemory_) throw std::bad_alloc();
  throw std::runtime_error("bad frame len");
}

bool FrameReader::feedImpl(const std::uint8_t* data, std::size_t count) {
  std::size_t pos = 0;

  // First complete a frame left over from earlier chunks.
  if (pending_.size != 0) {
    if (pending_.size < kLengthBytes) {
      const std::size_t take = std::min(kLengthBytes - pending_.size, count);
      if (!pending_.append(data, take, kLengthBytes)) return noMemory();
      pos += take;
      if (pending_.size < kLengthBytes) return true;
    }
    const std::uint32_t length = getU32(pending_.bytes.get());
    if (!lengthValid(length)) return false;
    const std::size_t total = kLengthBytes + static_cast<std::size_t>(length);
    const std::size_t take = std::min(total - pending_.size, count - pos);
    if (!pending_.append(data + pos, take, total)) return noMemory();
    pos += take;
    if (pending_.size < total) return true;
    const std::uint8_t* frame = pending_.bytes.get();
    handler_(frame[kLengthBytes], frame + kHeaderBytes, length - 1);
    if (failed_) return false;
    pending_.size = 0;
  }

  // Whole frames inside this chunk go straight from the caller's bytes.
  std::size_t tailFrame = kLengthBytes;  // the size of the frame the tail begins
  while (count - pos >= kLengthBytes) {
    const std::uint32_t length = getU32(data + pos);
    if (!lengthValid(length)) return false;
    const std::size_t total = kLengthBytes + static_cast<std::size_t>(length);
    if (count - pos < total) {
      tailFrame = total;
      break;
    }
    handler_(data[pos + kLengthBytes], data + pos + kHeaderBytes, length - 1);
    if (failed_) return false;
    pos += total;
  }

  // Keep the incomplete tail for the next chunk.
  if (!pending_.append(data + pos, count - pos, tailFrame)) return noMemory();
  return true;
}

}  // namespace omber::link

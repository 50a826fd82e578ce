#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, for the one-pass shortcut
#include "core/server/compression.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace omber {

// A growable byte buffer that does not zero what it grows into (the decoder
// overwrites it) and keeps its memory between calls.
struct ZstdDecoder::Output {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
  std::size_t capacity = 0;

  // Makes room for `needed` bytes, keeping the first `size`; amortised growth.
  std::uint8_t* reserve(std::size_t needed) {
    if (needed > capacity) {
      const std::size_t grown = std::max(needed, capacity * 2);
      std::unique_ptr<std::uint8_t[]> larger(new std::uint8_t[grown]);
      if (size) std::memcpy(larger.get(), bytes.get(), size);
      bytes = std::move(larger);
      capacity = grown;
    }
    return bytes.get();
  }

  // Starts a call: empty, and without memory beyond what ordinary slices
  // need, so one huge frame does not pin its buffer for the owner's lifetime.
  void restart() {
    constexpr std::size_t kRetainBytes = 64u << 20;
    size = 0;
    if (capacity > kRetainBytes) {
      bytes.reset();
      capacity = 0;
    }
  }
};

namespace {

[[noreturn]] void failZstd(std::size_t code) {
  throw CompressionError(std::string("zstd: ") + ZSTD_getErrorName(code));
}

// The streaming decoder refuses frames whose window is larger than this
// (its default window limit), so the one-pass shortcut must too.
constexpr unsigned long long kStreamWindowLimit = (1ull << ZSTD_WINDOWLOG_LIMIT_DEFAULT) + 1;

}  // namespace

ZstdDecoder::ZstdDecoder() : out_(std::make_unique<Output>()) {}

ZstdDecoder::~ZstdDecoder() { ZSTD_freeDStream(ctx_); }

ZstdDecoder::ZstdDecoder(ZstdDecoder&& other) noexcept
    : ctx_(other.ctx_), out_(std::move(other.out_)) {
  other.ctx_ = nullptr;
}

ZstdDecoder& ZstdDecoder::operator=(ZstdDecoder&& other) noexcept {
  if (this != &other) {
    ZSTD_freeDStream(ctx_);
    ctx_ = other.ctx_;
    other.ctx_ = nullptr;
    out_ = std::move(other.out_);
  }
  return *this;
}

ZSTD_DCtx_s* ZstdDecoder::context() {
  if (!out_) out_ = std::make_unique<Output>();  // after a move-from
  if (!ctx_) {
    ctx_ = ZSTD_createDStream();
    if (!ctx_) throw CompressionError("zstd: createDStream failed");
  }
  return ctx_;
}

ByteView ZstdDecoder::decompressStepwise(const std::uint8_t* data, std::size_t size) {
  ZSTD_DStream* stream = context();
  Output& out = *out_;
  out.restart();
  if (size == 0) return {out.bytes.get(), 0};

  const std::size_t step = ZSTD_DStreamOutSize();
  const std::size_t init = ZSTD_initDStream(stream);
  if (ZSTD_isError(init)) failZstd(init);
  ZSTD_inBuffer in{data, size, 0};
  while (in.pos < in.size) {
    if (out.size + step > kZstdOutputCap) throw CompressionError("zstd: decompressed output exceeds cap");
    std::uint8_t* base = out.reserve(out.size + step);
    ZSTD_outBuffer o{base + out.size, step, 0};
    const std::size_t ret = ZSTD_decompressStream(stream, &o, &in);
    if (ZSTD_isError(ret)) {
      out.size = 0;
      failZstd(ret);
    }
    out.size += o.pos;
    if (ret == 0) break;  // frame complete; later input is ignored
  }
  return {out.bytes.get(), out.size};
}

// Decodes the first frame in one pass when the step-wise algorithm's outcome
// is known in advance: a regular frame, wholly present, that declares its
// content size N within a window the streaming decoder accepts. The step-wise
// algorithm then takes max(1, ceil(N / step)) steps, so it hits the cap
// exactly when that many steps exceed it, and a frame of at most one step is
// decoded by the library's own one-pass shortcut with one step of room.
// Returns false when the shortcut does not apply or the frame does not decode
// cleanly; the step-wise algorithm then decides (and words any error).
bool ZstdDecoder::tryWholeFrame(const std::uint8_t* data, std::size_t size) {
  ZSTD_frameHeader header;
  if (ZSTD_getFrameHeader(&header, data, size) != 0 || header.frameType != ZSTD_frame) return false;
  const unsigned long long content = header.frameContentSize;
  if (content == ZSTD_CONTENTSIZE_UNKNOWN || content == ZSTD_CONTENTSIZE_ERROR) return false;
  const std::size_t step = ZSTD_DStreamOutSize();
  const unsigned long long steps = content <= step ? 1 : (content + step - 1) / step;
  if (steps > kZstdOutputCap / step) return false;  // the step-wise path reports the cap
  const bool oneStep = content <= step;
  if (!oneStep && header.windowSize > kStreamWindowLimit) return false;
  const std::size_t frameSize = ZSTD_findFrameCompressedSize(data, size);
  if (ZSTD_isError(frameSize) || frameSize > size) return false;  // cut short: step-wise

  const std::size_t room = oneStep ? step : static_cast<std::size_t>(content);
  Output& out = *out_;
  out.restart();
  std::uint8_t* base = out.reserve(room);
  const std::size_t written = ZSTD_decompressDCtx(context(), base, room, data, frameSize);
  if (ZSTD_isError(written)) return false;
  out.size = written;
  return true;
}

ByteView ZstdDecoder::decompress(const std::uint8_t* data, std::size_t size) {
  context();
  if (size == 0) {
    out_->restart();
    return {out_->bytes.get(), 0};
  }
  if (tryWholeFrame(data, size)) return {out_->bytes.get(), out_->size};
  return decompressStepwise(data, size);
}

std::vector<std::uint8_t> zstdDecompress(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  ZstdDecoder decoder;
  const ByteView view = decoder.decompress(data, size);
  return std::vector<std::uint8_t>(view.data, view.data + view.size);
}

namespace {

// Ends a zlib stream on every path out of a wrapper.
struct DeflateGuard {
  z_stream* s;
  ~DeflateGuard() { deflateEnd(s); }
};
struct InflateGuard {
  z_stream* s;
  ~InflateGuard() { inflateEnd(s); }
};

constexpr int kRawWindowBits = -15;  // raw DEFLATE: no zlib or gzip header
constexpr int kMemLevel = 8;

}  // namespace

std::vector<std::uint8_t> deflateRaw(const std::uint8_t* data, std::size_t size, int level) {
  z_stream s{};
  if (deflateInit2(&s, level, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw CompressionError("deflateInit2 failed");
  }
  DeflateGuard guard{&s};
  // One call with the finish flag: zlib takes 32-bit lengths, so larger
  // inputs would be silently cut; refuse them instead.
  const uLong bound = deflateBound(&s, static_cast<uLong>(size));
  if (size > UINT_MAX || bound > UINT_MAX) throw CompressionError("deflate did not finish");
  std::vector<std::uint8_t> out(bound);
  s.next_in = const_cast<Bytef*>(data);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  if (deflate(&s, Z_FINISH) != Z_STREAM_END) throw CompressionError("deflate did not finish");
  out.resize(s.total_out);
  return out;
}

std::vector<std::uint8_t> inflateRaw(const std::uint8_t* data, std::size_t size) {
  z_stream s{};
  if (inflateInit2(&s, kRawWindowBits) != Z_OK) throw CompressionError("inflateInit2 failed");
  InflateGuard guard{&s};
  std::vector<std::uint8_t> out;
  std::size_t unread = size;  // input not yet handed to zlib (32-bit lengths)
  s.next_in = const_cast<Bytef*>(data);
  for (;;) {
    if (s.avail_in == 0 && unread > 0) {
      s.avail_in = static_cast<uInt>(std::min<std::size_t>(unread, UINT_MAX));
      unread -= s.avail_in;
    }
    if (out.size() + kInflateStepBytes > kInflateOutputCap) throw CompressionError("inflate output exceeds cap");
    const std::size_t before = out.size();
    out.resize(before + kInflateStepBytes);
    s.next_out = out.data() + before;
    s.avail_out = static_cast<uInt>(kInflateStepBytes);
    const int ret = inflate(&s, Z_NO_FLUSH);
    if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) throw CompressionError("inflate failed");
    out.resize(before + kInflateStepBytes - s.avail_out);
    if (ret == Z_STREAM_END) break;
    if (ret == Z_BUF_ERROR && s.avail_in == 0 && unread == 0) break;  // cut short: keep what was decoded
  }
  return out;
}

}  // namespace omber

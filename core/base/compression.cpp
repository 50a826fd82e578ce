#define ZSTD_STATIC_LINKING_ONLY  // frame headers, buffer sizes and block-level decoding
#include "core/base/compression.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace omber::base {

namespace {

// A growable byte buffer that does not zero what it grows into (the decoder
// overwrites it) and keeps its memory between calls.
struct Output {
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

  ByteView view() const { return {bytes.get(), size}; }
};

[[noreturn]] void failZstd(std::size_t code) {
  throw CompressionError(std::string("zstd: ") + ZSTD_getErrorName(code));
}

// The streaming decoder refuses frames whose window is larger than this
// (its default window limit).
constexpr unsigned long long kStreamWindowLimit = (1ull << ZSTD_WINDOWLOG_LIMIT_DEFAULT) + 1;
// The smallest window the streaming decoder sizes its buffers for (1 KiB).
constexpr unsigned long long kMinWindow = 1ull << 10;
// The library's content-size markers, evaluated once at compile time: the
// macros are written as wrapping subtractions from 0.
constexpr unsigned long long kContentSizeUnknown = ZSTD_CONTENTSIZE_UNKNOWN;
constexpr unsigned long long kContentSizeError = ZSTD_CONTENTSIZE_ERROR;

// What a streaming session allocates for a frame: an input buffer of one
// block and an output buffer sized from the window and the content size,
// exactly as the library computes them when it reads the frame header.
struct StreamBuffers {
  std::size_t in = 0;
  std::size_t out = 0;
  bool operator==(const StreamBuffers& o) const { return in == o.in && out == o.out; }
};

bool buffersFor(const ZSTD_frameHeader& h, StreamBuffers& buffers) {
  if (h.frameType != ZSTD_frame) return false;
  const unsigned long long window = std::max<unsigned long long>(h.windowSize, kMinWindow);
  if (window > kStreamWindowLimit) return false;
  const std::size_t out = ZSTD_decodingBufferSize_min(window, h.frameContentSize);
  if (ZSTD_isError(out)) return false;
  buffers = {std::max<std::size_t>(h.blockSizeMax, 4), out};
  return true;
}

}  // namespace

// Two contexts: a streaming session for the step-wise algorithm and a
// context for block-by-block decoding into a contiguous buffer.
//
// A streaming session's outcome on a corrupt frame depends on the size of
// its internal output buffer, which it keeps from earlier frames when large
// enough. A new session allocates exactly what the frame header asks for, so
// the session is reused only for frames asking for the very sizes it holds,
// and replaced otherwise; it then behaves exactly as a new one.
struct ZstdDecoder::State {
  ZSTD_DStream* stream = nullptr;
  ZSTD_DCtx* blocks = nullptr;
  enum class Buffers { None, Sized, Unknown } held = Buffers::None;
  StreamBuffers sizes;
  Output out;

  ~State() {
    ZSTD_freeDStream(stream);
    ZSTD_freeDCtx(blocks);
  }

  void newStream() {
    ZSTD_freeDStream(stream);
    stream = ZSTD_createDStream();
    held = Buffers::None;
    if (!stream) throw CompressionError("zstd: createDStream failed");
  }

  ByteView stepwise(const std::uint8_t* data, std::size_t size);
  bool contiguous(const std::uint8_t* data, std::size_t size);
};

ZstdDecoder::ZstdDecoder() = default;
ZstdDecoder::~ZstdDecoder() = default;
ZstdDecoder::ZstdDecoder(ZstdDecoder&& other) noexcept = default;
ZstdDecoder& ZstdDecoder::operator=(ZstdDecoder&& other) noexcept = default;

ZstdDecoder::State& ZstdDecoder::state() {
  if (!state_) state_ = std::make_unique<State>();
  if (!state_->stream) state_->newStream();
  return *state_;
}

ByteView ZstdDecoder::State::stepwise(const std::uint8_t* data, std::size_t size) {
  Output& o = out;
  o.restart();
  if (size == 0) return o.view();

  // Match the session's buffers to what a new session would allocate.
  ZSTD_frameHeader header;
  StreamBuffers need;
  const bool known = ZSTD_getFrameHeader(&header, data, size) == 0 && buffersFor(header, need);
  if (held == Buffers::Unknown || (held == Buffers::Sized && !(known && sizes == need))) newStream();
  // A frame of at most one step that is wholly present is decoded by the
  // library's one-pass shortcut, which leaves the buffers as they are.
  const std::size_t step = ZSTD_DStreamOutSize();
  const bool shortcut = known && header.frameContentSize <= step && ZSTD_findFrameCompressedSize(data, size) <= size;

  const std::size_t init = ZSTD_initDStream(stream);
  if (ZSTD_isError(init)) failZstd(init);
  const Buffers before = held;
  held = Buffers::Unknown;  // until the call has ended normally
  ZSTD_inBuffer in{data, size, 0};
  while (in.pos < in.size) {
    if (o.size + step > kZstdOutputCap) throw CompressionError("zstd: decompressed output exceeds cap");
    std::uint8_t* base = o.reserve(o.size + step);
    ZSTD_outBuffer chunk{base + o.size, step, 0};
    const std::size_t ret = ZSTD_decompressStream(stream, &chunk, &in);
    if (ZSTD_isError(ret)) {
      o.size = 0;
      failZstd(ret);
    }
    o.size += chunk.pos;
    if (ret == 0) break;  // frame complete; later input is ignored
  }
  if (known && !shortcut) {
    held = Buffers::Sized;
    sizes = need;
  } else if (known && shortcut) {
    held = before;
  }
  return o.view();
}

// Decodes the first frame straight into an output buffer presized to its
// declared content size, when the step-wise outcome is kept:
// - a frame of at most one step that is wholly present: the step-wise
//   algorithm's first call takes the library's one-pass shortcut with one
//   step of room; the same call is made here;
// - a larger frame, wholly present, within the window limit: the streaming
//   session decodes it block by block into its output buffer, by the same
//   block-level calls with the same room that are made here, so every size
//   check and error is the same; only its copies out in 131,072-byte steps
//   are saved. Those steps number ceil(N / step), which decides the cap.
//   When that buffer is smaller than the content (a window smaller than the
//   slice), the session uses it as a ring: each block gets the room left
//   before the ring's end, and the ring restarts when less than a block is
//   left. Here the blocks land one after another in the output, so the
//   history a block refers back to is all there, each with the ring's room
//   but never more than the declared content has left: a block that would
//   not fit in either fails here. For every frame whose matches stay within
//   its declared window that gives the ring's bytes; a corrupt frame
//   reaching further back is read as a streaming session decoding straight
//   into a caller's buffer of the declared size reads it, where the ring
//   would give an error or stale bytes.
// Returns false when neither applies, decoding fails, or a corrupt frame
// decodes to other than its declared size; the step-wise algorithm then
// decides (and words any error).
bool ZstdDecoder::State::contiguous(const std::uint8_t* data, std::size_t size) {
  ZSTD_frameHeader header;
  StreamBuffers need;
  if (ZSTD_getFrameHeader(&header, data, size) != 0 || header.frameType != ZSTD_frame) return false;
  const unsigned long long content = header.frameContentSize;
  if (content == kContentSizeUnknown || content == kContentSizeError) return false;
  const std::size_t step = ZSTD_DStreamOutSize();
  const bool oneStep = content <= step;
  const unsigned long long steps = oneStep ? 1 : (content + step - 1) / step;
  if (steps > kZstdOutputCap / step) return false;  // the step-wise path reports the cap
  if (!oneStep && !buffersFor(header, need)) return false;
  const bool ring = !oneStep && need.out < content;
  const std::size_t frameSize = ZSTD_findFrameCompressedSize(data, size);
  if (ZSTD_isError(frameSize) || frameSize > size) return false;  // cut short: step-wise

  if (!blocks) {
    blocks = ZSTD_createDCtx();
    if (!blocks) return false;
  }
  out.restart();
  const auto contentBytes = static_cast<std::size_t>(content);
  // A block in the ring may be given room up to the ring's size past the
  // content decoded so far (which never exceeds the declared size here).
  const std::size_t room = oneStep ? step : contentBytes + (ring ? need.out : 0);
  std::uint8_t* const base = out.reserve(room);
  if (oneStep) {
    const std::size_t written = ZSTD_decompressDCtx(blocks, base, room, data, frameSize);
    if (ZSTD_isError(written)) return false;
    out.size = written;
    return true;
  }
  if (ZSTD_isError(ZSTD_decompressBegin(blocks))) return false;
  std::size_t read = 0, written = 0;
  std::size_t ringAt = 0;  // where the streaming session's next block would start in its ring
  for (std::size_t next; (next = ZSTD_nextSrcSizeToDecompress(blocks)) != 0; read += next) {
    if (next > size - read) return false;
    const std::size_t blockRoom = ring ? std::min(need.out - ringAt, contentBytes - written) : contentBytes - written;
    const std::size_t n = ZSTD_decompressContinue(blocks, base + written, blockRoom, data + read, next);
    if (ZSTD_isError(n)) return false;
    written += n;
    if (written > contentBytes) return false;  // corrupt: the frame ends with an error or at the cap
    if (ring && n != 0) {
      ringAt += n;
      if (ringAt + header.blockSizeMax > need.out) ringAt = 0;
    }
  }
  // A frame ending in an empty last block escapes the library's size check;
  // one that holds less than it declares is left to the step-wise algorithm.
  if (written != contentBytes) return false;
  out.size = written;
  return true;
}

ByteView ZstdDecoder::decompress(const std::uint8_t* data, std::size_t size) {
  State& s = state();
  if (size != 0 && s.contiguous(data, size)) return s.out.view();
  return s.stepwise(data, size);
}

ByteView ZstdDecoder::decompressStepwise(const std::uint8_t* data, std::size_t size) {
  return state().stepwise(data, size);
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

}  // namespace omber::base

// Fuzzes the zstd decoder differentially: its one-pass shortcut must give
// exactly what the step-wise algorithm gives (same bytes, or the same error
// text) on every input. Two long-lived decoders, as a session would keep one.
// The one allowed difference: a frame whose window is smaller than its
// content and whose matches reach back past that window decodes, straight
// into the output, to what a streaming session decoding into a buffer of the
// declared size gives, where the session's ring gives an error or other
// bytes.
//
// Inputs that ask for more than 1 MiB are skipped: a first frame declaring
// a larger window (within the limit, where the decoder would allocate it) or
// content size, or frames whose blocks bound the output above it. Buffers of
// many megabytes cost milliseconds each to allocate, fault in and free
// under ASan, and the fuzzer kept mutating such inputs. The unit tests cover
// large windows and the output cap; windows over the limit are still fuzzed,
// as they are refused before any allocation.
#define ZSTD_STATIC_LINKING_ONLY  // frame headers
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/base/compression.h"

namespace {

constexpr unsigned long long kLargestFuzzedBytes = 1ull << 20;
constexpr unsigned long long kContentSizeUnknown = ZSTD_CONTENTSIZE_UNKNOWN;  // wrapping macros
constexpr unsigned long long kContentSizeError = ZSTD_CONTENTSIZE_ERROR;

bool asksForLargeBuffers(const std::uint8_t* data, std::size_t size) {
  ZSTD_frameHeader h;
  if (ZSTD_getFrameHeader(&h, data, size) != 0 || h.frameType != ZSTD_frame) return false;
  const unsigned long long windowLimit = (1ull << ZSTD_WINDOWLOG_LIMIT_DEFAULT) + 1;
  const bool largeWindow = h.windowSize > kLargestFuzzedBytes && h.windowSize <= windowLimit;
  const bool largeContent = h.frameContentSize != kContentSizeUnknown && h.frameContentSize > kLargestFuzzedBytes;
  // RLE blocks give up to 128 KiB each: a few hundred bytes can decode to
  // tens of megabytes. The bound is an error for a cut or corrupt frame,
  // which is then fuzzed.
  const unsigned long long bound = ZSTD_decompressBound(data, size);
  const bool largeOutput = bound != kContentSizeError && bound > kLargestFuzzedBytes;
  return largeWindow || largeContent || largeOutput;
}

// A streaming session decoding the first frame straight into a buffer of
// its declared size (a stable output buffer: no ring, the whole history in
// the output). The input goes in two pieces, so the session does not take
// its one-pass shortcut.
bool stableOutputGives(const std::uint8_t* data, std::size_t size, omber::base::ByteView expected) {
  const unsigned long long declared = ZSTD_getFrameContentSize(data, size);
  if (declared == kContentSizeUnknown || declared == kContentSizeError || declared != expected.size) return false;
  const std::size_t frameSize = ZSTD_findFrameCompressedSize(data, size);
  if (ZSTD_isError(frameSize) || frameSize > size || frameSize < 2) return false;
  static ZSTD_DCtx* ctx = ZSTD_createDCtx();
  static std::uint8_t out[kLargestFuzzedBytes];
  ZSTD_DCtx_reset(ctx, ZSTD_reset_session_and_parameters);
  ZSTD_DCtx_setParameter(ctx, ZSTD_d_stableOutBuffer, 1);
  ZSTD_outBuffer o{out, expected.size, 0};
  ZSTD_inBuffer in{data, frameSize - 1, 0};
  std::size_t ret = ZSTD_decompressStream(ctx, &o, &in);
  if (ZSTD_isError(ret)) return false;
  in.size = frameSize;
  ret = ZSTD_decompressStream(ctx, &o, &in);
  if (ZSTD_isError(ret)) return false;
  return ret == 0 && o.pos == expected.size && (o.pos == 0 || std::memcmp(out, expected.data, o.pos) == 0);
}

// A frame whose window buffer in a streaming session is smaller than its
// content: the session then decodes through a ring.
bool windowSmallerThanContent(const std::uint8_t* data, std::size_t size) {
  ZSTD_frameHeader h;
  if (ZSTD_getFrameHeader(&h, data, size) != 0 || h.frameType != ZSTD_frame) return false;
  if (h.frameContentSize == kContentSizeUnknown) return false;
  const std::size_t ring = ZSTD_decodingBufferSize_min(h.windowSize < 1024 ? 1024 : h.windowSize, h.frameContentSize);
  return !ZSTD_isError(ring) && ring < h.frameContentSize;
}

struct Result {
  omber::base::ByteView bytes;
  std::string error;
  bool ok = false;
};

template <class Call>
Result attempt(Call call) {
  Result r;
  try {
    r.bytes = call();
    r.ok = true;
  } catch (const omber::base::CompressionError& e) {
    r.error = e.what();
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (asksForLargeBuffers(data, size)) return 0;
  static omber::base::ZstdDecoder fast, stepwise;
  const Result a = attempt([&] { return fast.decompress(data, size); });
  const Result b = attempt([&] { return stepwise.decompressStepwise(data, size); });
  const bool same = a.ok == b.ok && a.error == b.error &&
                    (!a.ok || (a.bytes.size == b.bytes.size &&
                               (a.bytes.size == 0 || std::memcmp(a.bytes.data, b.bytes.data, a.bytes.size) == 0)));
  if (!same && !(a.ok && windowSmallerThanContent(data, size) && stableOutputGives(data, size, a.bytes))) std::abort();
  if (a.ok && a.bytes.size > omber::base::kZstdOutputCap) std::abort();
  return 0;
}

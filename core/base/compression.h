// The compression libraries behind the engine's own limits and error texts:
// a zstd decoder for the server's compressed slices, and raw DEFLATE both
// ways for the engine's documents. Each caps its output so that a hostile or
// corrupt input cannot make the engine allocate without bound.
//
// Every failure throws CompressionError whose what() is one of the fixed
// texts below; no partial output is returned from a failed call, and the
// library state is released on every path. Nothing here is realtime-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace omber::base {

class CompressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// zstd: output grows in steps of 131,072 bytes and fails with
// "zstd: decompressed output exceeds cap" when a step would carry it past
// 268,435,456 bytes, whether or not the data would have ended sooner.
constexpr std::size_t kZstdStepBytes = 131072;
constexpr std::size_t kZstdOutputCap = 268435456;
// inflate: 16,384-byte steps, "inflate output exceeds cap" past 8,388,608.
constexpr std::size_t kInflateStepBytes = 16384;
constexpr std::size_t kInflateOutputCap = 8388608;

// A read-only view of bytes owned elsewhere.
struct ByteView {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// A zstd decoder that keeps its decompression contexts and its output buffer
// from one call to the next, so a stream of slices neither re-creates a
// context nor faults in fresh output memory per slice. Up to 64 MiB of output
// memory is kept between calls; a larger buffer is given back on the next.
//
// Decodes the first frame of the input (input after a complete frame is
// ignored; input that ends inside a frame yields what was decoded so far,
// without an error; an empty input yields empty output). Errors:
// "zstd: createDStream failed", "zstd: " + the library's error name, and the
// cap text above. The outcome is the step-wise algorithm's with a new stream
// per call (same bytes, same cap failures, same error texts), also for
// corrupt input; frames that declare their size and are wholly present are
// decoded straight into the output, without the streaming session's buffer
// and its copy out. One exception: a corrupt frame whose window is smaller
// than its content and whose matches reach back further than that window
// (no encoder writes such a frame) is read with its whole decoded history,
// as a streaming session decoding straight into a buffer of the declared
// size reads it, where the session's ring buffer would give an error or
// stale bytes.
//
// Not thread-safe: one decoder per owner and thread.
class ZstdDecoder {
 public:
  ZstdDecoder();
  ~ZstdDecoder();
  ZstdDecoder(ZstdDecoder&& other) noexcept;
  ZstdDecoder& operator=(ZstdDecoder&& other) noexcept;
  ZstdDecoder(const ZstdDecoder&) = delete;
  ZstdDecoder& operator=(const ZstdDecoder&) = delete;

  // The decoded bytes stay valid until the next call or the decoder's end.
  ByteView decompress(const std::uint8_t* data, std::size_t size);

  // The step-wise algorithm alone: a streaming session per call, output grown
  // step by step. The reference the shortcuts are checked against in tests
  // and fuzzing.
  ByteView decompressStepwise(const std::uint8_t* data, std::size_t size);

 private:
  struct State;
  State& state();

  std::unique_ptr<State> state_;
};

// One-call form of ZstdDecoder::decompress: a fresh context, a new vector.
std::vector<std::uint8_t> zstdDecompress(const std::uint8_t* data, std::size_t size);

// Raw DEFLATE (no header, window bits -15, memory level 8, default strategy)
// at `level` (-1: the library's default). Errors: "deflateInit2 failed",
// "deflate did not finish" (also for inputs of 4 GiB and more, which zlib's
// 32-bit lengths cannot take in one call).
std::vector<std::uint8_t> deflateRaw(const std::uint8_t* data, std::size_t size, int level = -1);

// Raw inflate. A stream cut short yields what was decoded; bytes after the
// end of the stream are ignored. Errors: "inflateInit2 failed",
// "inflate failed" (corrupt data, or a zlib/gzip header), and the cap text.
std::vector<std::uint8_t> inflateRaw(const std::uint8_t* data, std::size_t size);

}  // namespace omber::base

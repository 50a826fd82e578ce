// The zstd slice decoder against one-shot ZSTD_decompressDCtx into a presized
// buffer with a reused context, on a 2-second noisy difference slice and a
// 60-second sparse one (stereo binary16 at 48 kHz, as the server sends).
// For comparison: the step-wise algorithm on a reused decoder, and the
// plain function, which creates its context and output per call.
#include <benchmark/benchmark.h>
#include <zstd.h>

#include <random>
#include <vector>

#include "bench/ratio.h"
#include "core/base/compression.h"

namespace {

std::vector<std::uint8_t> halves(double seconds, bool sparse) {
  const std::size_t samples = static_cast<std::size_t>(seconds * 48000) * 2;
  std::vector<std::uint8_t> bytes(2 * samples);
  std::mt19937 rng(11);
  for (std::size_t i = 0; i < samples; ++i) {
    std::uint16_t h = 0;
    if (!sparse) {
      h = static_cast<std::uint16_t>(0x1000 + rng() % 0x1800) | static_cast<std::uint16_t>((rng() & 1) << 15);
    } else if ((i / 4800) % 25 == 0) {
      h = static_cast<std::uint16_t>(0x2000 + rng() % 0x800);  // a short burst every 1.25 s
    }
    bytes[2 * i] = static_cast<std::uint8_t>(h);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(h >> 8);
  }
  return bytes;
}

// Level 3; windowLog 0 keeps the level's own window (2 MiB for a 60 s slice).
std::vector<std::uint8_t> compressed(const std::vector<std::uint8_t>& plain, int windowLog) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, 3);
  ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, windowLog);
  std::vector<std::uint8_t> out(ZSTD_compressBound(plain.size()));
  out.resize(ZSTD_compress2(c, out.data(), out.size(), plain.data(), plain.size()));
  ZSTD_freeCCtx(c);
  return out;
}

// 0: 2-second noisy slice; 1: 60-second sparse slice, window smaller than the
// slice; 2: the same with a 16 MiB window that covers it.
std::vector<std::uint8_t> slice(std::int64_t which) {
  if (which == 0) return compressed(halves(2, false), 0);
  return compressed(halves(60, true), which == 2 ? 24 : 0);
}

template <class Subject>
void againstOneShot(benchmark::State& state, Subject subject) {
  const auto frame = slice(state.range(0));
  const auto size = ZSTD_getFrameContentSize(frame.data(), frame.size());
  std::vector<std::uint8_t> out(size);
  ZSTD_DCtx* ctx = ZSTD_createDCtx();
  omber::bench::measureRatio(
      state,
      [&] { benchmark::DoNotOptimize(ZSTD_decompressDCtx(ctx, out.data(), out.size(), frame.data(), frame.size())); },
      [&] { subject(frame); });
  ZSTD_freeDCtx(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["compressed_bytes"] = static_cast<double>(frame.size());
}

void BM_ZstdDecoder(benchmark::State& state) {
  omber::base::ZstdDecoder decoder;
  againstOneShot(state, [&](const auto& f) { benchmark::DoNotOptimize(decoder.decompress(f.data(), f.size()).size); });
}

void BM_ZstdDecoderStepwise(benchmark::State& state) {
  omber::base::ZstdDecoder decoder;
  againstOneShot(state,
                 [&](const auto& f) { benchmark::DoNotOptimize(decoder.decompressStepwise(f.data(), f.size()).size); });
}

void BM_ZstdDecompressFunction(benchmark::State& state) {
  againstOneShot(state,
                 [](const auto& f) { benchmark::DoNotOptimize(omber::base::zstdDecompress(f.data(), f.size())); });
}

}  // namespace

BENCHMARK(BM_ZstdDecoder)->Apply(omber::bench::ratioBenchmark)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_ZstdDecoderStepwise)->Apply(omber::bench::ratioBenchmark)->Arg(0)->Arg(1);
BENCHMARK(BM_ZstdDecompressFunction)->Apply(omber::bench::ratioBenchmark)->Arg(0)->Arg(1);
BENCHMARK_MAIN();

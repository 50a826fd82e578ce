// binary16 widening of a 2-second stereo slice (192,000 samples) against the
// bare F16C instruction on the same data, which is not exact (it quiets
// signalling NaNs). Both the writing and the adding form.
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <random>
#include <vector>

#include "bench/ratio.h"
#include "core/base/half_float.h"

namespace {

constexpr std::size_t kSamples = 2 * 48000 * 2;

// Small values of either sign with random mantissas, like a difference slice.
std::vector<std::uint8_t> noisyHalves() {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> bytes(2 * kSamples);
  for (std::size_t i = 0; i < kSamples; ++i) {
    const auto h = static_cast<std::uint16_t>((0x1000 + rng() % 0x1C00) | ((rng() & 1) << 15));
    bytes[2 * i] = static_cast<std::uint8_t>(h);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(h >> 8);
  }
  return bytes;
}

__attribute__((target("avx,f16c"))) void rawF16c(const std::uint8_t* in, std::size_t n, float* out) {
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    _mm256_storeu_ps(out + i, _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i))));
  }
}

__attribute__((target("avx,f16c"))) void rawF16cAdd(const std::uint8_t* in, std::size_t n, float* out) {
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    const __m256 w = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i)));
    _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_loadu_ps(out + i), w));
  }
}

void BM_WidenHalves(benchmark::State& state) {
  const auto bytes = noisyHalves();
  std::vector<float> a(kSamples), b(kSamples);
  const auto kernel = static_cast<omber::base::HalfKernel>(state.range(0));
  omber::bench::measureRatio(
      state, [&] { rawF16c(bytes.data(), kSamples, a.data()), benchmark::ClobberMemory(); },
      [&] { omber::base::widenHalvesWith(kernel, bytes.data(), kSamples, b.data()), benchmark::ClobberMemory(); });
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}

void BM_WidenHalvesAdd(benchmark::State& state) {
  const auto bytes = noisyHalves();
  std::vector<float> a(kSamples), b(kSamples);
  omber::bench::measureRatio(
      state, [&] { rawF16cAdd(bytes.data(), kSamples, a.data()), benchmark::ClobberMemory(); },
      [&] { omber::base::widenHalvesAdd(bytes.data(), kSamples, b.data()), benchmark::ClobberMemory(); });
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}

}  // namespace

// Arg 1: the F16C kernel with its signalling-NaN check; arg 0: the portable one.
BENCHMARK(BM_WidenHalves)->Apply(omber::bench::ratioBenchmark)->Arg(1)->Arg(0);
BENCHMARK(BM_WidenHalvesAdd)->Apply(omber::bench::ratioBenchmark);
BENCHMARK_MAIN();

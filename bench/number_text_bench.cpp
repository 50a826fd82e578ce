// formatNumber against std::to_chars (shortest round-trip, plain format) on
// the same 4096 doubles: knob-like decimals, integers and random values.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstring>
#include <random>
#include <vector>

#include "bench/ratio.h"
#include "core/base/number_text.h"

namespace {

std::vector<double> sampleValues() {
  std::mt19937_64 rng(3);
  std::vector<double> v;
  while (v.size() < 4096) {
    v.push_back(static_cast<double>(rng() % 1000) / 1000.0);          // 0.442
    v.push_back(static_cast<double>(rng() % 200000));                 // 120, 100000
    v.push_back(std::uniform_real_distribution<double>(-1, 1)(rng));  // 17 digits
    const std::uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) v.push_back(d);
  }
  return v;
}

template <class Format>
void againstToChars(benchmark::State& state, Format format) {
  const auto values = sampleValues();
  char buf[64];
  omber::bench::measureRatio(
      state,
      [&] {
        for (double d : values) benchmark::DoNotOptimize(std::to_chars(buf, buf + sizeof buf, d).ptr);
      },
      [&] {
        for (double d : values) benchmark::DoNotOptimize(format(buf, d));
      });
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}

void BM_FormatNumberTo(benchmark::State& state) { againstToChars(state, omber::base::formatNumberTo); }

// The string-returning form, as most callers use it.
void BM_FormatNumberString(benchmark::State& state) {
  againstToChars(state, [](char*, double d) { return omber::base::formatNumber(d); });
}

}  // namespace

BENCHMARK(BM_FormatNumberTo)->Apply(omber::bench::ratioBenchmark);
BENCHMARK(BM_FormatNumberString)->Apply(omber::bench::ratioBenchmark);
BENCHMARK_MAIN();

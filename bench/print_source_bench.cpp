// Cost of a finished print that becomes a new source, against a memcpy of
// the new source's bytes measured in the same run.
//
// A 4-bar print at 120 BPM (384,000 frames) arrives from the feeders in
// 4,800-frame blocks; when its last block is in, the print is repeated to
// the source cap (7 repetitions, 2,688,000 frames, 21.5 MB) and handed to
// the engine, which starts the upload. The subject is the whole of that on
// an engine whose outlet only counts; the baseline copies 21.5 MB between
// two buffers that stay mapped. What a new source costs beyond one copy
// (fresh pages, the print buffer, every further copy) shows in the ratio.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/ratio.h"
#include "core/engine/engine.h"

namespace {

using omber::base::Atom;
using omber::base::Atoms;
using omber::engine::Engine;

constexpr std::int32_t kPrintBars = 4;
constexpr std::uint64_t kPrintFrames = 384'000;  // 4 bars of 2 s at 48 kHz
constexpr std::uint64_t kBlockFrames = 4'800;
constexpr std::size_t kSourceSamples = 2'688'000 * 2;

void BM_PrintBecomesNewSource(benchmark::State& state) {
  std::int64_t messages = 0;
  Engine engine([&messages](const std::string&, const Atoms&) { ++messages; });
  omber::live::LiveAudioPath& live = engine.live();
  engine.inlet("tempo", Atoms{Atom(120.0)});

  const std::vector<float> block(kBlockFrames * 2, 0.25f);
  std::vector<float> from(kSourceSamples, 0.5f), to(kSourceSamples, 0.0f);
  omber::bench::measureRatio(
      state,
      [&] {
        std::memcpy(to.data(), from.data(), kSourceSamples * sizeof(float));
        benchmark::ClobberMemory();
      },
      [&] {
        live.feed().armPrint(kPrintBars, false, false);
        live.grid().onBar();
        for (std::uint64_t done = 0; done < kPrintFrames; done += kBlockFrames) {
          if (auto source = live.feed().intake(kBlockFrames, block.data())) engine.takeNewSource(std::move(*source));
        }
      });
  if (engine.settings().startSamples.size() != kSourceSamples)
    state.SkipWithError("the print did not become a new source");
  benchmark::DoNotOptimize(messages);
}
BENCHMARK(BM_PrintBecomesNewSource)->Apply(omber::bench::ratioBenchmark);

}  // namespace

BENCHMARK_MAIN();

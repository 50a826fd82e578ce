// Cost of omber~'s perform routine per 64-frame vector for one player, in
// its plainest state (playing through a buffer) and its costliest (a swap
// crossfade while the play head is in the loop-end blend), against a
// baseline measured in the same run: a plain linear-interpolated stereo read
// of the same frames into the two output vectors.
//
// Each benchmark reports ns per frame and the share of one core that one
// instance takes at 48 kHz; after the run a table gives each variant's
// median against the baseline's median. Goals: at most 0.1 % of one core in
// the costliest state and at most 1.5x the baseline for each variant.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "external/core/instance.h"

namespace {

using omber::external::CommandKind;
using omber::external::Instance;
using omber::external::PlayerCommand;

constexpr long kVector = 64;
constexpr double kRate = 48000.0;
constexpr std::uint32_t kFrames = 480000;           // a 10 s buffer
constexpr double kBandStart = 2.0, kBandEnd = 8.0;  // loop 96000..384000, blend 2400 frames
constexpr double kBlendSeek = (kBandEnd * kRate - 2300.0) / kRate;
constexpr int kVectorsPerCycle = 16;  // 1024 frames: inside both the 1200-frame fade and the blend

float* makeBuffer() {
  float* block = omber::external::allocateSamples(std::size_t{kFrames} * 2);
  for (std::size_t f = 0; f < kFrames; ++f) {
    block[f * 2] = static_cast<float>(std::sin(0.001 * static_cast<double>(f)));
    block[f * 2 + 1] = static_cast<float>(std::cos(0.0013 * static_cast<double>(f)));
  }
  return block;
}

PlayerCommand command(CommandKind kind, float* block = nullptr, double value1 = 0.0, double value2 = 0.0) {
  PlayerCommand c;
  c.kind = kind;
  c.block = block;
  c.frames = block ? kFrames : 0;
  c.value1 = value1;
  c.value2 = value2;
  return c;
}

void setCounters(benchmark::State& state) {
  const double frames = static_cast<double>(state.iterations()) * kVector;
  state.counters["ns_per_frame"] =
      benchmark::Counter(frames / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  // elapsed / (audio seconds / 100): percent of one core at 48 kHz.
  state.counters["core_pct_48k"] =
      benchmark::Counter(frames / kRate / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The baseline kernel: read the same frames with the same step, nothing else.
void baselineRead(benchmark::State& state, double step) {
  float* block = makeBuffer();
  std::vector<double> left(kVector), right(kVector);
  double head = kBlendSeek * kRate;
  for (auto _ : state) {
    for (long k = 0; k < kVector; ++k) {
      const auto whole = static_cast<std::int64_t>(head);
      const auto fraction = static_cast<float>(head - static_cast<double>(whole));
      const auto i = static_cast<std::uint64_t>(whole);
      const std::uint64_t j = i + 1 < kFrames ? i + 1 : i;
      const float* a = block + i * 2;
      const float* b = block + j * 2;
      left[static_cast<std::size_t>(k)] = a[0] + (b[0] - a[0]) * fraction;
      right[static_cast<std::size_t>(k)] = a[1] + (b[1] - a[1]) * fraction;
      head += step;
      if (head >= kFrames) head -= kFrames;
    }
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    benchmark::ClobberMemory();
  }
  setCounters(state);
  omber::external::freeSamples(block);
}
void BM_BaselineInterpolatedRead(benchmark::State& state) { baselineRead(state, 1.0); }
void BM_BaselineInterpolatedRead44k(benchmark::State& state) { baselineRead(state, kRate / 44100.0); }
BENCHMARK(BM_BaselineInterpolatedRead);
BENCHMARK(BM_BaselineInterpolatedRead44k);

enum class Variant { Plain, Blend, CrossfadeAndBlend };

void runPlayer(benchmark::State& state, Variant variant, double rate = kRate) {
  Instance instance([](const std::string&) {});
  auto& shared = instance.state();
  instance.prepare(rate, kVector);
  shared.commands.push(command(CommandKind::Replace, makeBuffer()));
  if (variant != Variant::Plain) shared.commands.push(command(CommandKind::Band, nullptr, kBandStart, kBandEnd));
  shared.commands.push(command(CommandKind::Seek, nullptr, kBlendSeek));
  // Blocks that come back are reused for the next swap (no allocation in the loop).
  float* spare[2] = {makeBuffer(), makeBuffer()};
  int spares = 2;

  std::vector<double> left(kVector), right(kVector);
  double* outs[2] = {left.data(), right.data()};
  const double* ins[2] = {nullptr, nullptr};
  int vector = 0;
  for (auto _ : state) {
    if (variant != Variant::Plain && vector++ % kVectorsPerCycle == 0) {
      // Back into the blend and, for the costliest state, a fresh crossfade.
      float* back = nullptr;
      while (shared.releases.pop(back)) spare[spares++] = back;
      if (variant == Variant::CrossfadeAndBlend) shared.commands.push(command(CommandKind::Swap, spare[--spares]));
      shared.commands.push(command(CommandKind::Seek, nullptr, kBlendSeek));
    }
    instance.perform(ins, 0, outs, 2, kVector);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  setCounters(state);
  float* back = nullptr;
  while (shared.releases.pop(back)) spare[spares++] = back;
  for (int i = 0; i < spares; ++i) omber::external::freeSamples(spare[i]);
}

void BM_PerformPlain(benchmark::State& state) { runPlayer(state, Variant::Plain); }
void BM_PerformLoopEndBlend(benchmark::State& state) { runPlayer(state, Variant::Blend); }
void BM_PerformCrossfadeAndBlend(benchmark::State& state) { runPlayer(state, Variant::CrossfadeAndBlend); }
BENCHMARK(BM_PerformPlain);
BENCHMARK(BM_PerformLoopEndBlend);
BENCHMARK(BM_PerformCrossfadeAndBlend);
void BM_PerformLoopEndBlend44k(benchmark::State& state) { runPlayer(state, Variant::Blend, 44100.0); }
void BM_PerformCrossfadeAndBlend44k(benchmark::State& state) { runPlayer(state, Variant::CrossfadeAndBlend, 44100.0); }
BENCHMARK(BM_PerformLoopEndBlend44k);
BENCHMARK(BM_PerformCrossfadeAndBlend44k);

// Prints the usual table, then every variant's median against the baseline's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        // CPU time: this machine is shared, and other processes' load shows
        // in wall time but not in ours.
        medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto baseline = medians_.find("BM_BaselineInterpolatedRead");
    if (baseline == medians_.end() || baseline->second <= 0) return;
    const auto baseline44k = medians_.find("BM_BaselineInterpolatedRead44k");
    std::printf("\nmedian CPU time per 64-frame vector, against the baseline read (at 44.1 kHz: the 44k baseline):\n");
    for (const auto& [name, time] : medians_) {
      const bool at44k = name.size() > 3 && name.compare(name.size() - 3, 3, "44k") == 0;
      if (at44k && baseline44k == medians_.end()) continue;
      const double base = at44k ? baseline44k->second : baseline->second;
      const double nsPerFrame = time / kVector;
      std::printf("  %-32s %8.1f ns/vector %6.2f ns/frame %7.4f %% core at 48 kHz %5.2fx baseline\n", name.c_str(),
                  time, nsPerFrame, nsPerFrame * kRate / 1e9 * 100.0, time / base);
    }
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  // Median of 5 repetitions unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=5";
  bool given = false;
  for (int i = 1; i < argc; ++i) given = given || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
  if (!given) args.push_back(repetitions.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

// Cost of the live path's two most frequent inlet messages, each against an
// empty dispatch (an unknown selector through Engine::inlet) measured in the
// same run:
//   - one "bar" that corrects drift: phase report, a Seek frame to the players;
//   - one Position frame through "ext:data": frame cutting, the swap-count
//     check and the "ui:position" report.
// After the run a table gives each median in nanoseconds and as a multiple
// of the empty dispatch's median.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/engine/engine.h"
#include "link/frame.h"

namespace {

using omber::base::Atom;
using omber::base::Atoms;
using omber::engine::Engine;

constexpr const char* kBaseline = "BM_EmptyDispatch";
constexpr int kRepetitions = 5;  // the table shows medians

// An outlet that only counts: the host's delivery is not what is measured.
struct Counts {
  std::int64_t messages = 0;
  std::int64_t writes = 0;
};

Engine makeEngine(Counts& counts) {
  return Engine([&counts](const std::string& selector, const Atoms&) {
    ++counts.messages;
    if (selector == "ext:write") ++counts.writes;
  });
}

void BM_EmptyDispatch(benchmark::State& state) {
  Counts counts;
  Engine engine = makeEngine(counts);
  const Atoms none;
  for (auto _ : state) engine.inlet("no:such", none);
  benchmark::DoNotOptimize(counts.messages);
}
BENCHMARK(BM_EmptyDispatch)->Repetitions(kRepetitions);

// A stream on a 120 BPM grid over a 32 s buffer whose players never report:
// at every bar line the reported play head is still where the last
// correction put it, a whole bar behind, so every bar seeks.
void BM_BarWithDriftCorrection(benchmark::State& state) {
  Counts counts;
  Engine engine = makeEngine(counts);
  omber::live::LiveAudioPath& live = engine.live();
  live.readiness().apply({32, 0.0, std::nullopt, std::nullopt});
  live.grid().setGridTempo(120);
  live.playback().start(2, 0);  // a stream on the source the engine holds (none)
  live.grid().resumeAt(0, 0.0);
  counts = Counts{};
  const Atoms none;
  for (auto _ : state) engine.inlet("bar", none);
  state.counters["seeks_per_bar"] = static_cast<double>(counts.writes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BarWithDriftCorrection)->Repetitions(kRepetitions);

void BM_PositionFrame(benchmark::State& state) {
  Counts counts;
  Engine engine = makeEngine(counts);
  engine.inlet("ext:conn", Atoms{Atom(1.0)});
  engine.inlet("ext:data", Atoms{Atom(1.0), Atom(omber::link::encodeHello(omber::link::kRolePlayer, 48000, 2))});
  const Atoms frame{Atom(1.0), Atom(omber::link::encodePosition(12.5, 0))};
  const std::int64_t before = counts.messages;
  for (auto _ : state) engine.inlet("ext:data", frame);
  state.counters["reports_per_frame"] =
      static_cast<double>(counts.messages - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PositionFrame)->Repetitions(kRepetitions);

// The usual table, then each median (CPU time: the machine is shared) against
// the empty dispatch's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medianNs_[run.run_name.function_name] = run.GetAdjustedCPUTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto baseline = medianNs_.find(kBaseline);
    if (baseline == medianNs_.end() || !(baseline->second > 0)) return;
    std::printf("\nmedian CPU time per message, against an empty dispatch:\n");
    for (const auto& [name, ns] : medianNs_)
      std::printf("  %-28s %9.1f ns %8.1fx\n", name.c_str(), ns, ns / baseline->second);
  }

 private:
  std::map<std::string, double> medianNs_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

// Runs a subject and its baseline back to back in every iteration, so both
// see the same machine noise, and reports their ratio as counters:
//   time_vs_baseline  = subject time / baseline time (goals like "within 1.5x")
//   speed_vs_baseline = baseline time / subject time (goals like "at least 0.5 of memcpy")
// The benchmark's own time is the subject's. Register with UseManualTime();
// ratioBenchmark() adds 5 repetitions and reports their mean/median/stddev.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace omber::bench {

// Returns the subject's total seconds.
template <class Baseline, class Subject>
double measureRatio(benchmark::State& state, Baseline baseline, Subject subject) {
  using Clock = std::chrono::steady_clock;
  double baseSeconds = 0, subjectSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    baseline();
    const auto t1 = Clock::now();
    subject();
    const auto t2 = Clock::now();
    const double b = std::chrono::duration<double>(t1 - t0).count();
    const double s = std::chrono::duration<double>(t2 - t1).count();
    baseSeconds += b;
    subjectSeconds += s;
    state.SetIterationTime(s);
  }
  state.counters["time_vs_baseline"] = subjectSeconds / baseSeconds;
  state.counters["speed_vs_baseline"] = baseSeconds / subjectSeconds;
  return subjectSeconds;
}

inline void ratioBenchmark(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
}

}  // namespace omber::bench

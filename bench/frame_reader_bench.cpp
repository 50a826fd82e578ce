// Link frame reader throughput: a long-lived reader fed a stream of frames of
// one size in 64 KiB chunks, against memcpy of the same bytes in the same
// chunks into a buffer of the stream's size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/ratio.h"
#include "link/frame.h"

namespace {

using omber::link::FrameReader;

constexpr std::size_t kChunk = 65536;

std::vector<std::uint8_t> streamOf(std::size_t frameBytes, std::size_t minStreamBytes) {
  std::vector<std::uint8_t> payload(frameBytes - omber::link::kHeaderBytes);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
  const auto frame = omber::link::encodeFrame(omber::link::FrameType::Patch, payload);
  std::vector<std::uint8_t> stream;
  while (stream.size() < minStreamBytes) stream.insert(stream.end(), frame.begin(), frame.end());
  return stream;
}

void BM_FrameReader(benchmark::State& state) {
  const auto frameBytes = static_cast<std::size_t>(state.range(0));
  const auto stream = streamOf(frameBytes, std::max<std::size_t>(2 * frameBytes, 1u << 20));
  std::vector<std::uint8_t> copy(stream.size());
  std::uint64_t frames = 0, payloadBytes = 0;
  FrameReader reader([&](std::uint8_t, const std::uint8_t* p, std::uint64_t n) {
    ++frames;
    payloadBytes += n + p[0];
  });
  const auto feedAll = [&] {
    for (std::size_t pos = 0; pos < stream.size(); pos += kChunk) {
      reader.feed(stream.data() + pos, std::min(kChunk, stream.size() - pos));
    }
  };
  const auto memcpyAll = [&] {
    for (std::size_t pos = 0; pos < stream.size(); pos += kChunk) {
      std::memcpy(copy.data() + pos, stream.data() + pos, std::min(kChunk, stream.size() - pos));
    }
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  };
  feedAll();  // warm: the reader's buffer reaches its working size once
  memcpyAll();
  frames = 0;
  const double seconds = omber::bench::measureRatio(state, memcpyAll, feedAll);
  benchmark::DoNotOptimize(payloadBytes);
  state.counters["ns_per_frame"] = seconds * 1e9 / static_cast<double>(frames);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

}  // namespace

BENCHMARK(BM_FrameReader)
    ->Apply(omber::bench::ratioBenchmark)
    ->Arg(64)
    ->Arg(4096)
    ->Arg(768 * 1024)
    ->Arg(23 * 1000 * 1000);
BENCHMARK_MAIN();

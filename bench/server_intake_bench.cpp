// Slice intake on the engine, from the "ws:data" inlet call to the emitted
// Patch frame bytes: a raw 2-second stereo slice (overwrite), a zstd 2-second
// noisy difference and a zstd 60-second sparse difference (add), cut from
// music-like audio. Baseline, timed in the same iterations: one-shot
// ZSTD_decompressDCtx with a reused context into a presized buffer (none for
// the raw slice) plus one memcpy of the decoded samples as floats.
// Counters: time_vs_baseline, ns_per_sample, realtime_factor (seconds of
// audio taken in per second of work).
#include <benchmark/benchmark.h>
#include <zstd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "core/engine/engine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr double kRate = 48000.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kSourceSeconds = 64.0;

// A stereo arrangement at 120 BPM: kick and hat on the beats, a bass line,
// a pad chord and a little noise; `variant` changes the notes and the noise,
// as a regeneration of the same bars would.
std::vector<float> music(double seconds, unsigned variant) {
  const std::size_t frames = static_cast<std::size_t>(seconds * kRate);
  std::vector<float> out(2 * frames);
  std::mt19937 rng(variant);
  std::normal_distribution<float> noise(0.0f, 0.01f);
  const double beat = 0.5;
  const double bassNotes[4] = {55.0, 65.41, 73.42, 49.0};
  const double chord[3] = {220.0 * (1 + 0.01 * variant), 261.63, 329.63};
  for (std::size_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) / kRate;
    const double inBeat = std::fmod(t, beat);
    const double kick = std::exp(-inBeat * 30) * std::sin(2 * kPi * (50 + 100 * std::exp(-inBeat * 40)) * inBeat);
    const double hat = std::fmod(t + beat / 2, beat) < 0.03 ? 0.3 * noise(rng) * 10 : 0.0;
    const double bassFreq = bassNotes[(static_cast<std::size_t>(t / (4 * beat)) + variant) % 4];
    const double bass = 0.3 * (std::sin(2 * kPi * bassFreq * t) + 0.5 * std::sin(4 * kPi * bassFreq * t));
    double pad = 0;
    for (const double c : chord) pad += 0.08 * std::sin(2 * kPi * c * t);
    const double left = 0.6 * kick + bass + pad + hat + noise(rng);
    const double right = 0.6 * kick + bass + 0.9 * pad - hat + noise(rng);
    out[2 * f] = static_cast<float>(left * 0.7);
    out[2 * f + 1] = static_cast<float>(right * 0.7);
  }
  return out;
}

// Round to nearest even binary16, little-endian (normal range and zero are
// all this audio needs; tiny values flush to zero).
std::uint16_t toHalf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const std::uint32_t sign = (bits >> 16) & 0x8000u;
  const std::int32_t exponent = static_cast<std::int32_t>((bits >> 23) & 0xff) - 112;
  if (exponent <= 0) return static_cast<std::uint16_t>(sign);
  if (exponent >= 31) return static_cast<std::uint16_t>(sign | 0x7bffu);
  std::uint32_t mantissa = bits & 0x7fffffu;
  std::uint32_t h = (static_cast<std::uint32_t>(exponent) << 10) | (mantissa >> 13);
  const std::uint32_t rest = mantissa & 0x1fffu;
  if (rest > 0x1000u || (rest == 0x1000u && (h & 1))) ++h;
  return static_cast<std::uint16_t>(sign | h);
}

Bytes halves(const std::vector<float>& samples) {
  Bytes out(2 * samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::uint16_t h = toHalf(samples[i]);
    out[2 * i] = static_cast<std::uint8_t>(h);
    out[2 * i + 1] = static_cast<std::uint8_t>(h >> 8);
  }
  return out;
}

Bytes zstdFrame(const Bytes& plain) {
  Bytes out(ZSTD_compressBound(plain.size()));
  out.resize(ZSTD_compress(out.data(), out.size(), plain.data(), plain.size(), 3));
  return out;
}

Bytes sliceMessage(std::uint8_t kind, const Bytes& payload) {
  Bytes out(23 + payload.size(), 0);
  out[0] = kind;  // start frame 0
  std::copy(payload.begin(), payload.end(), out.begin() + 23);
  return out;
}

struct Case {
  const char* name;
  Bytes message;
  Bytes zstdPayload;  // empty for the raw slice
  std::size_t samples = 0;
  double seconds = 0;
};

Case makeCase(std::int64_t which) {
  Case c;
  if (which == 0) {
    c.name = "raw_2s_overwrite";
    c.seconds = 2;
    const Bytes plain = halves(music(2, 1));
    c.samples = plain.size() / 2;
    c.message = sliceMessage(0, plain);
  } else if (which == 1) {
    // A regeneration of two seconds: every sample moves a little.
    c.name = "zstd_2s_noisy_add";
    c.seconds = 2;
    const std::vector<float> before = music(2, 1), after = music(2, 2);
    std::vector<float> diff(before.size());
    for (std::size_t i = 0; i < diff.size(); ++i) diff[i] = after[i] - before[i];
    const Bytes plain = halves(diff);
    c.samples = plain.size() / 2;
    c.zstdPayload = zstdFrame(plain);
    c.message = sliceMessage(1, c.zstdPayload);
  } else {
    // A minute in which one bar in four was regenerated.
    c.name = "zstd_60s_sparse_add";
    c.seconds = 60;
    const std::vector<float> before = music(60, 1), after = music(60, 3);
    std::vector<float> diff(before.size(), 0.0f);
    const std::size_t bar = static_cast<std::size_t>(2 * kRate) * 2;
    for (std::size_t i = 0; i < diff.size(); ++i) {
      if ((i / bar) % 4 == 1) diff[i] = after[i] - before[i];
    }
    const Bytes plain = halves(diff);
    c.samples = plain.size() / 2;
    c.zstdPayload = zstdFrame(plain);
    c.message = sliceMessage(1, c.zstdPayload);
  }
  return c;
}

// An engine streaming a 64-second stereo source; its outlet only looks at
// the size of each Patch frame.
struct StreamingEngine {
  std::size_t patchBytes = 0;
  omber::engine::Engine engine{[this](const std::string& selector, const omber::base::Atoms& atoms) {
    if (selector == "ext:write" && atoms.size() == 2) patchBytes += atoms[1].bytes.size();
  }};

  StreamingEngine() {
    engine.inlet("ws:open", {});
    const std::string ready = R"({"type":"ready","duration":64,"bpm":120,"channels":2,"source_epoch":1})";
    engine.inlet("ws:data",
                 omber::base::Atoms{omber::base::Atom(Bytes(ready.begin(), ready.end())), omber::base::Atom(0.0)});
    engine.inlet("ws:data",
                 omber::base::Atoms{omber::base::Atom(halves(music(kSourceSeconds, 1))), omber::base::Atom(1.0)});
    patchBytes = 0;  // the Init, Band and Seek of the stream start
  }
};

void BM_SliceIntake(benchmark::State& state) {
  const Case c = makeCase(state.range(0));
  state.SetLabel(c.name);
  StreamingEngine streaming;
  const omber::base::Atoms atoms{omber::base::Atom(c.message), omber::base::Atom(1.0)};

  std::vector<std::uint8_t> decoded(c.samples * 2);
  std::vector<float> floats(c.samples), copy(c.samples);
  ZSTD_DCtx* ctx = ZSTD_createDCtx();
  const double seconds = omber::bench::measureRatio(
      state,
      [&] {
        if (!c.zstdPayload.empty()) {
          benchmark::DoNotOptimize(
              ZSTD_decompressDCtx(ctx, decoded.data(), decoded.size(), c.zstdPayload.data(), c.zstdPayload.size()));
        }
        std::memcpy(copy.data(), floats.data(), c.samples * sizeof(float));
        benchmark::ClobberMemory();
      },
      [&] {
        streaming.engine.inlet("ws:data", atoms);
        benchmark::DoNotOptimize(streaming.patchBytes);
      });
  ZSTD_freeDCtx(ctx);

  const double perSlice = seconds / static_cast<double>(state.iterations());
  state.counters["ns_per_sample"] = perSlice * 1e9 / static_cast<double>(c.samples);
  state.counters["realtime_factor"] = c.seconds / perSlice;
  if (streaming.patchBytes != state.iterations() * (5 + 4 + c.samples * 4)) state.SkipWithError("no Patch frames");
}

}  // namespace

BENCHMARK(BM_SliceIntake)->Apply(omber::bench::ratioBenchmark)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK_MAIN();

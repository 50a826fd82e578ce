// omber-soak: a long performance pushed through the engine as fast as it
// goes, with resident memory sampled along the way.
//
// A scripted pod and Live answer the engine's outlet messages in place of
// the host: a player and a feeder on the bridge, Live's tempo, transport and
// bar lines, the feeder's captured audio, the handshake, a slice every
// 250 ms (raw and zstd differences, alternately), swaps, prints (into the
// stream and as new sources), the stream feed mode, the parameter tick and
// the player's Position reports, a dropped socket now and then. Simulated
// time advances in 20 ms steps without waiting.
//
// Every minute the engine's source buffer and the player's copy are compared
// with the pod's copy bit for bit. Resident memory (/proc/self/statm; the
// working set on Windows, the task's resident size on macOS) and the heap in
// use (mallinfo2; the CRT heap's used blocks on Windows, the malloc zones'
// bytes in use on macOS) are sampled every 10 simulated seconds; after
// the warm-up a least-squares slope is fitted to each. The run fails when
// either keeps growing: a slope above the limit per simulated hour *and* the
// mean of the last fifth of the samples above the mean of the first fifth by
// more than the growth margin. Both conditions together keep allocator
// jitter (a 20 MB source replaced by another) from reading as a leak.
//
//   omber-soak [--minutes 60] [--warmup-minutes M] [--max-slope-mib-per-hour 4]
//              [--min-growth-mib 1] [--trace]
#if defined(_WIN32)
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <malloc.h>
#include <psapi.h>
#elif defined(__APPLE__)
#include <mach/mach.h>
#include <malloc/malloc.h>
#else
#include <malloc.h>
#include <unistd.h>
#endif
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/engine/engine.h"
#include "core/base/json.h"
#include "link/frame.h"

// Under AddressSanitizer freed memory waits in a quarantine (resident size
// climbs to its limit) and the C library's heap figures read zero, so the
// memory trend says nothing there; the sanitizer's own leak check does.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryTrendMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryTrendMeaningful = false;
#else
constexpr bool kMemoryTrendMeaningful = true;
#endif
#else
constexpr bool kMemoryTrendMeaningful = true;
#endif

namespace {

using omber::base::Atom;
using omber::base::Atoms;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kStepMs = 20;
constexpr std::int64_t kSliceEveryMs = 250;
constexpr std::int64_t kBarMs = 2000;  // 120 BPM in 4/4
constexpr std::int64_t kSampleEveryMs = 10000;
constexpr std::int64_t kCheckEveryMs = 60000;
constexpr std::uint32_t kSliceFrames = 48000;  // two beats at 120 BPM
constexpr double kRate = 48000.0;

struct Options {
  double minutes = 60;
  double warmupMinutes = -1;  // default: a quarter of the run, at most 10
  double maxSlopeMibPerHour = 4;
  double minGrowthMib = 1;
  bool trace = false;
};

// Values k/1024 with |k| <= 1024 are exact in binary16.
std::uint16_t halfOf(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
  if ((bits & 0x7fffffffu) == 0) return sign;
  const auto exponent = static_cast<std::uint16_t>(((bits >> 23) & 0xffu) - 112u);
  return static_cast<std::uint16_t>(sign | (exponent << 10) | ((bits >> 13) & 0x3ffu));
}

void putHalves(Bytes& out, const std::vector<float>& values) {
  out.reserve(out.size() + values.size() * 2);
  for (const float v : values) {
    const std::uint16_t h = halfOf(v);
    out.push_back(static_cast<std::uint8_t>(h));
    out.push_back(static_cast<std::uint8_t>(h >> 8));
  }
}

Bytes sliceHeader(std::uint8_t kind, std::uint32_t startFrame) {
  Bytes out = {kind, static_cast<std::uint8_t>(startFrame), static_cast<std::uint8_t>(startFrame >> 8),
               static_cast<std::uint8_t>(startFrame >> 16), static_cast<std::uint8_t>(startFrame >> 24)};
  out.resize(23, 0);
  return out;
}

Bytes textBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct MemorySample {
  double minute;
  double rssKib;
  double heapKib;
};

#ifdef _WIN32
double rssKib() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.WorkingSetSize) / 1024.0;
}

double heapKib() {
  std::size_t used = 0;
  _HEAPINFO entry{};
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) used += entry._size;
  }
  return static_cast<double>(used) / 1024.0;
}
#elif defined(__APPLE__)
double rssKib() {
  mach_task_basic_info_data_t info{};
  mach_msg_type_number_t count = MACH_TASK_BASIC_INFO_COUNT;
  if (task_info(mach_task_self(), MACH_TASK_BASIC_INFO, reinterpret_cast<task_info_t>(&info), &count) != KERN_SUCCESS)
    return 0;
  return static_cast<double>(info.resident_size) / 1024.0;
}

double heapKib() {
  malloc_statistics_t stats{};
  malloc_zone_statistics(nullptr, &stats);
  return static_cast<double>(stats.size_in_use) / 1024.0;
}
#else
double rssKib() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

double heapKib() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd) / 1024.0;
}
#endif

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  if (n < 2) return 0;
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += y[i];
    sxx += x[i] * x[i];
    sxy += x[i] * y[i];
  }
  const double d = n * sxx - sx * sx;
  return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

struct Trend {
  double slopeMibPerHour = 0;
  double growthMib = 0;  // mean of the last fifth minus mean of the first fifth
  double firstMib = 0, lastMib = 0, peakMib = 0;
};

Trend trendOf(const std::vector<MemorySample>& samples, double(MemorySample::*field)) {
  Trend t;
  std::vector<double> x, y;
  for (const MemorySample& s : samples) {
    x.push_back(s.minute / 60.0);
    y.push_back(s.*field / 1024.0);
  }
  if (y.empty()) return t;
  t.slopeMibPerHour = slope(x, y);
  const std::size_t fifth = std::max<std::size_t>(1, y.size() / 5);
  double a = 0, b = 0;
  for (std::size_t i = 0; i < fifth; ++i) {
    a += y[i];
    b += y[y.size() - 1 - i];
  }
  t.growthMib = (b - a) / static_cast<double>(fifth);
  t.firstMib = y.front();
  t.lastMib = y.back();
  t.peakMib = *std::max_element(y.begin(), y.end());
  return t;
}

// The scripted world around the engine.
class Soak {
 public:
  explicit Soak(const Options& options) : options_(options) {
    engine_ = std::make_unique<omber::engine::Engine>(
        [this](const std::string& selector, const Atoms& atoms) { onOutlet(selector, atoms); });
    zstd_ = ZSTD_createCCtx();
  }
  ~Soak() { ZSTD_freeCCtx(zstd_); }

  int run();

 private:
  // ---- delivering events: never re-entering the engine ----
  void dispatch(const std::string& selector, Atoms atoms = {}) {
    queue_.push_back({selector, std::move(atoms)});
    if (inside_) return;
    inside_ = true;
    while (!queue_.empty()) {
      auto [sel, args] = std::move(queue_.front());
      queue_.pop_front();
      ++counts_["in " + sel];
      engine_->inlet(sel, args);
    }
    inside_ = false;
  }
  void extData(int id, Bytes bytes) {
    dispatch("ext:data", Atoms{Atom(static_cast<double>(id)), Atom(std::move(bytes))});
  }
  void wsData(Bytes bytes, bool binary) {
    dispatch("ws:data", Atoms{Atom(std::move(bytes)), Atom(binary ? 1.0 : 0.0)});
  }

  void onOutlet(const std::string& selector, const Atoms& atoms);
  void onPlayerFrame(const Bytes& frame);
  void onServerMessage(const Bytes& bytes);
  void sendSource(bool swap);
  void sendSlice();
  void step();
  void check(const char* when);
  void sample();
  void fail(const std::string& what) {
    if (failures_.size() < 10) failures_.push_back(what + " at minute " + std::to_string(nowMs_ / 60000.0));
  }

  Options options_;
  std::unique_ptr<omber::engine::Engine> engine_;
  ZSTD_CCtx* zstd_ = nullptr;
  std::deque<std::pair<std::string, Atoms>> queue_;
  bool inside_ = false;
  std::int64_t nowMs_ = 0;
  std::map<std::string, std::uint64_t> counts_;
  std::vector<std::string> failures_;
  std::vector<MemorySample> samples_;

  // The pod: its copy of the source, its epoch and session.
  std::vector<float> podSource_;
  std::int32_t podEpoch_ = 0;
  bool podStreaming_ = false;
  bool awaitingUpload_ = false;
  std::uint32_t uploadFrames_ = 0;
  bool pendingWriteAudio_ = false;
  std::uint32_t sliceSeq_ = 0;
  double sliceAudioSeconds_ = 0;
  std::int64_t buffered_ = 0;  // bytes waiting in the simulated WebSocket
  std::int64_t reconnectAtMs_ = -1;
  std::int64_t streamingMs_ = 0;
  std::int64_t nextSliceMs_ = 0;

  // The player: its copy, play head and swap count. The feeder: its capture switch.
  std::vector<float> player_;
  std::int32_t playerChannels_ = 2;
  std::int32_t playerSwaps_ = 0;
  double playHead_ = 0;
  double bandStart_ = -1, bandEnd_ = -1;
  bool capturing_ = false;
  std::uint64_t feederFrame_ = 0;
};

void Soak::onOutlet(const std::string& selector, const Atoms& atoms) {
  ++counts_["out " + selector];
  if (selector == "ext:write") {
    const std::string target = omber::base::stringAt(atoms, 0);
    if (atoms.size() < 2 || !atoms[1].isBytes()) return fail("ext:write without a frame");
    const Bytes& frame = atoms[1].bytes;
    if (frame.size() < 5) return fail("ext:write with a short frame");
    if (target == "players" || target == "1") onPlayerFrame(frame);
    if (target == "feeders" && frame[4] == static_cast<std::uint8_t>(omber::link::FrameType::Capture)) {
      capturing_ = frame.size() > 5 && frame[5] != 0;
    }
  } else if (selector == "ws:send") {
    if (atoms.empty() || !atoms[0].isBytes()) return fail("ws:send without bytes");
    buffered_ += static_cast<std::int64_t>(atoms[0].bytes.size());
    onServerMessage(atoms[0].bytes);
  } else if (selector == "cloud:resolve") {
    dispatch("cloud:wsurl", Atoms{Atom("ws://soak.pod/")});
  } else if (selector == "ws:connect") {
    podStreaming_ = false;
    dispatch("ws:open");
  } else if (selector == "ws:close") {
    // The host closes the socket; its close comes back as an event.
    podStreaming_ = false;
    dispatch("ws:close", Atoms{Atom(1000.0)});
  } else if (selector == "ws:reconnect_in") {
    reconnectAtMs_ = nowMs_ + static_cast<std::int64_t>(omber::base::numberAt(atoms, 0));
  } else if (selector == "ui:status") {
    if (omber::base::stringAt(atoms, 0).rfind("printed ", 0) == 0) ++counts_["prints"];
  } else if (selector == "core:reconnect_giveup") {
    fail("the engine gave up reconnecting");
  }
}

// The player applies Init, Swap and Patch to its copy and follows Band and Seek.
void Soak::onPlayerFrame(const Bytes& frame) {
  using omber::link::FrameType;
  const auto type = static_cast<FrameType>(frame[4]);
  const std::uint8_t* p = frame.data() + 5;
  const std::size_t size = frame.size() - 5;
  if (type == FrameType::Init || type == FrameType::Swap) {
    if (size < 10) return fail("short Init/Swap");
    playerChannels_ = omber::link::getU16(p + 4);
    const std::uint32_t frames = omber::link::getU32(p + 6);
    player_.assign(std::size_t{frames} * static_cast<std::size_t>(playerChannels_), 0.0f);
    if (size < 10 + player_.size() * 4) return fail("Init/Swap shorter than its samples");
    std::memcpy(player_.data(), p + 10, player_.size() * 4);
    if (type == FrameType::Init) {
      playerSwaps_ = 0;
      playHead_ = 0;
    } else {
      ++playerSwaps_;
    }
  } else if (type == FrameType::Patch) {
    if (size < 4) return fail("short Patch");
    const std::uint32_t start = omber::link::getU32(p);
    const std::size_t frames = (size - 4) / 8;
    const std::size_t base = std::size_t{start} * static_cast<std::size_t>(playerChannels_);
    if (playerChannels_ != 2 || base + frames * 2 > player_.size()) return fail("Patch outside the player's buffer");
    std::memcpy(player_.data() + base, p + 4, frames * 8);
  } else if (type == FrameType::Band && size >= 16) {
    bandStart_ = omber::link::getF64(p);
    bandEnd_ = omber::link::getF64(p + 8);
  } else if (type == FrameType::Seek && size >= 8) {
    playHead_ = omber::link::getF64(p);
  }
}

// What the pod does with the engine's messages: the handshake answered
// after the upload, swaps answered with a new source, audio writes taken.
void Soak::onServerMessage(const Bytes& bytes) {
  if (pendingWriteAudio_) {
    pendingWriteAudio_ = false;
    ++counts_["pod audio writes"];
    return;
  }
  if (awaitingUpload_) {
    awaitingUpload_ = false;
    if (bytes.size() >= 8) uploadFrames_ = omber::link::getU32(bytes.data() + 4);
    wsData(textBytes(R"({"type":"init_ack"})"), false);
    sendSource(false);
    return;
  }
  omber::base::JsonValue doc;
  if (bytes.empty() || bytes[0] != '{' || !omber::base::parseJson(std::string(bytes.begin(), bytes.end()), doc)) {
    return fail("the engine sent the pod a message that is no JSON");
  }
  const std::string type = omber::base::optString(doc, "type").value_or("");
  ++counts_["pod " + (type.empty() ? std::string("handshake") : type)];
  if (type.empty()) {
    awaitingUpload_ = true;  // the configuration; the printed track follows
  } else if (type == "swap_source") {
    sendSource(true);
  } else if (type == "write_audio") {
    pendingWriteAudio_ = true;
  }
}

// A new source: the readiness information and the source (or a swap).
// Its length follows the upload, as a pod generating from it would.
void Soak::sendSource(bool swap) {
  const double seconds = std::clamp(static_cast<double>(uploadFrames_) / kRate, 4.0, 60.0);
  const std::size_t frames = static_cast<std::size_t>(std::lround(seconds * kRate));
  ++podEpoch_;
  podSource_.assign(frames * 2, 0.0f);
  for (std::size_t i = 0; i < podSource_.size(); ++i) {
    podSource_[i] =
        static_cast<float>(static_cast<int>((i * 7 + static_cast<std::size_t>(podEpoch_) * 131) % 2049) - 1024) /
        1024.0f;
  }
  const std::string epoch = std::to_string(podEpoch_);
  const std::string duration = std::to_string(static_cast<double>(frames) / kRate);
  if (swap) {
    wsData(
        textBytes(R"({"type":"swap_ready","duration":)" + duration + R"(,"channels":2,"source_epoch":)" + epoch + "}"),
        false);
  } else {
    wsData(textBytes(R"({"type":"ready","duration":)" + duration +
                     R"(,"bpm":120,"key":"A minor","time_signature":"4/4","channels":2,"source_epoch":)" + epoch +
                     R"(,"capabilities":{"loop_band":true},"knob_manifest":{"knobs":{"ch_g0":{},"ch_g1":{}}}})"),
           false);
  }
  Bytes audio;
  putHalves(audio, podSource_);
  wsData(std::move(audio), true);
  podStreaming_ = true;
}

// One slice, a second of audio ahead of the play head: raw replacements and
// zstd-compressed differences in turn.
void Soak::sendSlice() {
  const std::size_t frames = podSource_.size() / 2;
  if (frames < kSliceFrames) return;
  ++sliceSeq_;
  const std::size_t start =
      (static_cast<std::size_t>((playHead_ + 0.5) * kRate) + sliceSeq_ * 997) % (frames - kSliceFrames);
  std::vector<float> values(kSliceFrames * 2);
  const bool raw = sliceSeq_ % 2 == 1;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (raw) {
      values[i] = static_cast<float>(static_cast<int>((i * 13 + sliceSeq_ * 17) % 2049) - 1024) / 1024.0f;
    } else {
      // Small differences, signed so that the sums stay bounded.
      values[i] = static_cast<float>(static_cast<int>((i + sliceSeq_) % 9) - 4) / 1024.0f;
    }
  }
  Bytes halves;
  putHalves(halves, values);
  Bytes message = sliceHeader(raw ? 0 : 1, static_cast<std::uint32_t>(start));
  if (raw) {
    message.insert(message.end(), halves.begin(), halves.end());
    std::copy(values.begin(), values.end(), podSource_.begin() + static_cast<std::ptrdiff_t>(start * 2));
  } else {
    Bytes packed(ZSTD_compressBound(halves.size()));
    const std::size_t n = ZSTD_compressCCtx(zstd_, packed.data(), packed.size(), halves.data(), halves.size(), 1);
    if (ZSTD_isError(n)) return fail("zstd compression failed");
    message.insert(message.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t i = 0; i < values.size(); ++i) podSource_[start * 2 + i] += values[i];
  }
  ++counts_[raw ? "slices raw" : "slices zstd"];
  sliceAudioSeconds_ += kSliceFrames / kRate;
  wsData(std::move(message), true);
}

// Compares the engine's source and the player's copy with the pod's.
void Soak::check(const char* when) {
  if (!podStreaming_) return;
  ++counts_["copies compared"];
  const std::vector<float>& engine = engine_->source().samples;
  if (engine.size() != podSource_.size() || std::memcmp(engine.data(), podSource_.data(), engine.size() * 4) != 0) {
    fail(std::string("the engine's source differs from the pod's (") + when + ")");
  }
  if (player_.size() != podSource_.size() || std::memcmp(player_.data(), podSource_.data(), player_.size() * 4) != 0) {
    fail(std::string("the player's copy differs from the pod's (") + when + ")");
  }
}

void Soak::sample() {
  samples_.push_back({static_cast<double>(nowMs_) / 60000.0, rssKib(), heapKib()});
  if (options_.trace) {
    const omber::live::CaptureMemory held = engine_->live().feed().memory();
    std::fprintf(
        stderr,
        "minute %7.2f  rss %9.0f KiB  heap %9.0f KiB  (floats: source %zu, start %zu, capture %zu/%zu, print %zu/%zu)\n",
        samples_.back().minute, samples_.back().rssKib, samples_.back().heapKib, engine_->source().samples.size(),
        engine_->settings().startSamples.capacity(), held.captureSize, held.captureCapacity, held.printSize,
        held.printCapacity);
  }
}

// One 20 ms step of the performance.
void Soak::step() {
  const std::int64_t t = nowMs_;
  const std::int64_t minuteMs = t % 60000;

  // The performer's script, repeating every minute (and some every few minutes).
  if (t > 0 && minuteMs == 5000) dispatch("knob", Atoms{Atom("ch_g0"), Atom(0.5 + 0.5 * std::sin(t / 7e4))});
  if (t > 0 && minuteMs == 15000) dispatch("prompt", Atoms{Atom("soak minute " + std::to_string(t / 60000))});
  if (t > 0 && minuteMs == 25000) dispatch("blend", Atoms{Atom((t / 60000) % 2 ? 0.9 : 0.1)});
  if (t > 0 && t % 40000 == 30000) dispatch("swap", Atoms{Atom("break")});
  if (t > 0 && minuteMs == 45000) {
    // Prints in turn: a canvas that fills the stream, a fixed one over its
    // own bars, and, with the stream stopped, one that becomes a new source.
    const std::int64_t k = (t / 60000) % 3;
    if (k == 1) dispatch("canvas_arm", Atoms{Atom(4.0)});
    if (k == 2) dispatch("fixed_arm", Atoms{Atom(7.0)});
    if (k == 0) {
      dispatch("stop");
      dispatch("canvas_arm", Atoms{Atom(2.0)});
    }
  }
  if (t > 0 && t % 300000 == 200000) {
    dispatch("section", Atoms{Atom(static_cast<double>((t / 300000) % 2))});
    dispatch("snapshot_req", Atoms{Atom("")});
  }
  if (t > 0 && t % 150000 == 120000) dispatch("ws:close", Atoms{Atom(1006.0)});  // the socket is lost
  if (reconnectAtMs_ >= 0 && t >= reconnectAtMs_) {
    reconnectAtMs_ = -1;
    dispatch("tick:reconnect");
  }

  if (t % kBarMs == 0) dispatch("bar", Atoms{Atom(static_cast<double>(t / kBarMs))});
  // Four slices a second, each on the first step at or after its time.
  if (t >= nextSliceMs_) {
    nextSliceMs_ += kSliceEveryMs;
    if (podStreaming_) sendSlice();
  }
  if (podStreaming_) streamingMs_ += kStepMs;

  // The WebSocket drains 600 kB/s; the engine's send gate sees the backlog.
  buffered_ = std::max<std::int64_t>(0, buffered_ - 600000 * kStepMs / 1000);
  dispatch("ws:buffered", Atoms{Atom(static_cast<double>(buffered_))});
  dispatch("tick:param");

  // The player moves its play head (within the band) and reports it.
  if (!player_.empty()) {
    const double duration = static_cast<double>(player_.size() / 2) / kRate;
    playHead_ += kStepMs / 1000.0;
    if (bandStart_ >= 0 && bandEnd_ > bandStart_) {
      if (playHead_ >= bandEnd_ || playHead_ < bandStart_) playHead_ = bandStart_;
    } else if (playHead_ >= duration) {
      playHead_ = std::fmod(playHead_, duration);
    }
    extData(1, omber::link::encodePosition(playHead_, playerSwaps_));
    ++counts_["positions"];
  }
  // The feeder sends what it captures, 20 ms at a time.
  if (capturing_) {
    constexpr std::uint32_t kFrames = 960;
    std::vector<float> audio(kFrames * 2);
    for (std::uint32_t i = 0; i < kFrames * 2; ++i) {
      audio[i] = static_cast<float>((feederFrame_ * 2 + i) % 4096) / 4096.0f - 0.5f;
    }
    feederFrame_ += kFrames;
    extData(2, omber::link::encodeCapturePcm(audio.data(), kFrames));
  }
}

int Soak::run() {
  const auto wallStart = std::chrono::steady_clock::now();
  const std::int64_t endMs = static_cast<std::int64_t>(options_.minutes * 60000.0);
  const double warmup = options_.warmupMinutes >= 0 ? options_.warmupMinutes : std::min(10.0, options_.minutes / 4);

  // Set-up: a player and a feeder say Hello; Live plays at 120 BPM; the
  // feeder's track is printed and becomes the first source.
  dispatch("ext:conn", Atoms{Atom(1.0)});
  extData(1, omber::link::encodeHello(0, 48000, 2));
  dispatch("ext:conn", Atoms{Atom(2.0)});
  extData(2, omber::link::encodeHello(1, 48000, 2));
  dispatch("tempo", Atoms{Atom(120.0)});
  dispatch("transport", Atoms{Atom(1.0)});
  dispatch("prompt", Atoms{Atom("soak")});
  dispatch("canvas_arm", Atoms{Atom(4.0)});

  bool fedStream = false;
  for (nowMs_ = 0; nowMs_ < endMs; nowMs_ += kStepMs) {
    step();
    if (!fedStream && podStreaming_) {
      dispatch("feed", Atoms{Atom("stream")});
      fedStream = true;
    }
    if (nowMs_ % kCheckEveryMs == kCheckEveryMs - kStepMs) check("every minute");
    if (nowMs_ % kSampleEveryMs == 0) sample();
  }
  check("at the end");
  sample();
  const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  std::vector<MemorySample> measured;
  for (const MemorySample& s : samples_)
    if (s.minute >= warmup) measured.push_back(s);
  const Trend rss = trendOf(measured, &MemorySample::rssKib);
  const Trend heap = trendOf(measured, &MemorySample::heapKib);
  const auto grows = [this](const Trend& t) {
    return t.slopeMibPerHour > options_.maxSlopeMibPerHour && t.growthMib > options_.minGrowthMib;
  };

  if (!fedStream) fail("the stream never started");
  if (counts_["slices raw"] == 0 || counts_["slices zstd"] == 0) fail("no slices of one kind");
  if (measured.size() < 3) fail("too few memory samples after the warm-up");
  if (kMemoryTrendMeaningful) {
    if (grows(rss)) fail("resident memory keeps growing");
    if (grows(heap)) fail("the heap in use keeps growing");
  } else {
    std::printf(
        "soak: memory trend not judged: AddressSanitizer holds freed memory in its quarantine and hides the heap; "
        "its leak check at exit stands in\n");
  }

  std::printf("soak: %.2f simulated hours (%.1f min) of performance in %.1f s wall time (%.0fx real time)\n",
              options_.minutes / 60.0, options_.minutes, wallSeconds, options_.minutes * 60.0 / wallSeconds);
  std::printf("soak: the pod streamed for %.1f min of it\n", static_cast<double>(streamingMs_) / 60000.0);
  std::printf(
      "soak: %.2f hours of audio in %llu slices (%llu raw, %llu zstd), %llu swaps, %llu sources, %llu prints done\n",
      sliceAudioSeconds_ / 3600.0, static_cast<unsigned long long>(counts_["slices raw"] + counts_["slices zstd"]),
      static_cast<unsigned long long>(counts_["slices raw"]), static_cast<unsigned long long>(counts_["slices zstd"]),
      static_cast<unsigned long long>(counts_["pod swap_source"]),
      static_cast<unsigned long long>(counts_["pod handshake"]), static_cast<unsigned long long>(counts_["prints"]));
  std::printf(
      "soak: %llu ticks, %llu bar lines, %llu Position reports, %llu CapturePcm frames, %llu audio writes, "
      "%llu reconnects, %llu copy checks\n",
      static_cast<unsigned long long>(counts_["in tick:param"]), static_cast<unsigned long long>(counts_["in bar"]),
      static_cast<unsigned long long>(counts_["positions"]), static_cast<unsigned long long>(feederFrame_ / 960),
      static_cast<unsigned long long>(counts_["pod audio writes"]),
      static_cast<unsigned long long>(counts_["out ws:reconnect_in"]),
      static_cast<unsigned long long>(counts_["copies compared"]));
  std::printf(
      "soak: memory after a %.1f min warm-up, %zu samples: resident %.1f -> %.1f MiB (peak %.1f), slope %+.2f MiB/h, "
      "growth %+.2f MiB; heap in use %.1f -> %.1f MiB, slope %+.2f MiB/h, growth %+.2f MiB\n",
      warmup, measured.size(), rss.firstMib, rss.lastMib, rss.peakMib, rss.slopeMibPerHour, rss.growthMib,
      heap.firstMib, heap.lastMib, heap.slopeMibPerHour, heap.growthMib);
  std::printf("soak: limits: a slope above %.2f MiB/h together with a growth above %.2f MiB fails\n",
              options_.maxSlopeMibPerHour, options_.minGrowthMib);
  for (const std::string& f : failures_) std::printf("soak: FAIL %s\n", f.c_str());
  std::printf("soak: %s\n", failures_.empty() ? "passed" : "FAILED");
  return failures_.empty() ? 0 : 1;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](double& out) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      out = std::strtod(argv[++i], &end);
      return end && *end == '\0' && std::isfinite(out) && out >= 0;
    };
    if (a == "--minutes") {
      if (!number(o.minutes) || o.minutes <= 0) return false;
    } else if (a == "--warmup-minutes") {
      if (!number(o.warmupMinutes)) return false;
    } else if (a == "--max-slope-mib-per-hour") {
      if (!number(o.maxSlopeMibPerHour)) return false;
    } else if (a == "--min-growth-mib") {
      if (!number(o.minGrowthMib)) return false;
    } else if (a == "--trace") {
      o.trace = true;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: omber-soak [--minutes 60] [--warmup-minutes M] [--max-slope-mib-per-hour 4] "
                 "[--min-growth-mib 1] [--trace]\n");
    return 2;
  }
  Soak soak(options);
  return soak.run();
}

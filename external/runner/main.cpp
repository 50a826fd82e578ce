// omber-maxhost: runs omber~ instances without Max. See kUsage (--help).
#include <sndfile.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "external/maxhost/host.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif
#include "external/maxhost/signal_chain.h"
#include "external/runner/options.h"

using namespace omber::maxhost;

namespace {

std::atomic<bool> g_stop{false};
std::atomic<bool> g_dump{false};

extern "C" void onStopSignal(int) { g_stop.store(true); }
extern "C" void onDumpSignal(int) { g_dump.store(true); }

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  struct sigaction dump {};
  dump.sa_handler = onDumpSignal;
  sigemptyset(&dump.sa_mask);
  sigaction(SIGUSR1, &dump, nullptr);
}

// The module built beside this program: omber~.so, or on macOS the binary
// inside the omber~.mxo bundle.
std::string defaultModulePath() {
#if defined(__APPLE__)
  const std::string module = "omber~.mxo/Contents/MacOS/omber~";
  char path[4096];
  std::uint32_t size = sizeof path;
  if (_NSGetExecutablePath(path, &size) != 0) return module;
  const std::string self(path);
#else
  const std::string module = "omber~.so";
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return module;
  const std::string self(path, static_cast<std::size_t>(length));
#endif
  return self.substr(0, self.rfind('/') + 1) + module;
}

struct SoundFile {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  ~SoundFile() {
    if (file) sf_close(file);
  }
};

// A player's outlets on their way to a WAV file, written in blocks.
class WavRecorder {
 public:
  bool open(const std::string& path, double sampleRate, std::string& error) {
    sound_.info.samplerate = static_cast<int>(std::lround(sampleRate));
    sound_.info.channels = 2;
    sound_.info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    sound_.file = sf_open(path.c_str(), SFM_WRITE, &sound_.info);
    if (!sound_.file) {
      error = "cannot write " + path + ": " + sf_strerror(nullptr);
      return false;
    }
    // Keeps the header valid after every block, so a killed run leaves a
    // readable file.
    sf_command(sound_.file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    pending_.reserve(kBlockFrames * 2);
    return true;
  }
  void add(const double* left, const double* right, std::size_t frames) {
    for (std::size_t k = 0; k < frames; ++k) {
      pending_.push_back(left ? left[k] : 0.0);
      pending_.push_back(right ? right[k] : 0.0);
    }
    if (pending_.size() >= kBlockFrames * 2) flush();
  }
  void flush() {
    if (!pending_.empty()) sf_writef_double(sound_.file, pending_.data(), static_cast<sf_count_t>(pending_.size() / 2));
    pending_.clear();
  }

 private:
  static constexpr std::size_t kBlockFrames = 4096;
  SoundFile sound_;
  std::vector<double> pending_;
};

// A WAV file on its way into a feeder's inlets; silence after its end.
class WavSource {
 public:
  bool open(const std::string& path, double sampleRate, bool quiet, std::string& error) {
    sound_.file = sf_open(path.c_str(), SFM_READ, &sound_.info);
    if (!sound_.file) {
      error = "cannot read " + path + ": " + sf_strerror(nullptr);
      return false;
    }
    if (!quiet && sound_.info.samplerate != static_cast<int>(std::lround(sampleRate))) {
      std::fprintf(stderr, "omber-maxhost: %s is %d Hz, played unchanged at %.0f Hz\n", path.c_str(),
                   sound_.info.samplerate, sampleRate);
    }
    return true;
  }
  void read(double* left, double* right, std::size_t frames) {
    const auto channels = static_cast<std::size_t>(std::max(sound_.info.channels, 1));
    interleaved_.resize(frames * channels);
    sf_count_t got = 0;
    if (!ended_) got = sf_readf_double(sound_.file, interleaved_.data(), static_cast<sf_count_t>(frames));
    if (got < static_cast<sf_count_t>(frames)) ended_ = true;
    const std::size_t right_channel = channels > 1 ? 1 : 0;
    for (std::size_t k = 0; k < frames; ++k) {
      const bool have = k < static_cast<std::size_t>(got);
      if (left) left[k] = have ? interleaved_[k * channels] : 0.0;
      if (right) right[k] = have ? interleaved_[k * channels + right_channel] : 0.0;
    }
  }

 private:
  SoundFile sound_;
  std::vector<double> interleaved_;
  bool ended_ = false;
};

// Binary layout of omber~'s applied-patch records ("tap_patches").
struct AppliedPatchRecord {
  std::int64_t atNanoseconds;
  std::uint32_t startFrame;
  std::uint32_t frames;
};

// A player's diagnostics: its buffer written on request, its applied
// patches appended to a text log as they are reported.
class PlayerTap {
 public:
  bool open(t_object* object, const InstanceRequest& request, std::string& error) {
    object_ = object;
    bufferPath_ = request.bufferPath;
    if (!request.patchLogPath.empty()) {
      log_ = std::fopen(request.patchLogPath.c_str(), "w");
      if (!log_) {
        error = "cannot write " + request.patchLogPath;
        return false;
      }
      object_method(object_, gensym("tap_log"), reinterpret_cast<void*>(1L), nullptr, nullptr, nullptr);
    }
    return true;
  }
  ~PlayerTap() {
    if (log_) std::fclose(log_);
  }
  // Between two ticks of the chain: moves the applied patches to the log.
  void drain() {
    if (!log_) return;
    std::size_t total = 0;
    for (;;) {
      const auto count = reinterpret_cast<std::uintptr_t>(
          object_method(object_, gensym("tap_patches"), records_, reinterpret_cast<void*>(static_cast<long>(kRecords)),
                        nullptr, nullptr));
      for (std::uintptr_t i = 0; i < count; ++i) {
        std::fprintf(log_, "%lld %u %u\n", static_cast<long long>(records_[i].atNanoseconds), records_[i].startFrame,
                     records_[i].frames);
      }
      total += count;
      if (count < kRecords) break;
    }
    if (total) std::fflush(log_);
  }
  // Between two ticks (or after the last): the buffer, complete or not at
  // all, under its final name.
  bool writeBuffer() {
    if (bufferPath_.empty()) return true;
    const std::string temporary = bufferPath_ + ".part";
    if (!object_method(object_, gensym("tap_buffer"), const_cast<char*>(temporary.c_str()), nullptr, nullptr,
                       nullptr)) {
      std::remove(temporary.c_str());
      return false;
    }
    return std::rename(temporary.c_str(), bufferPath_.c_str()) == 0;
  }
  const std::string& bufferPath() const { return bufferPath_; }

 private:
  static constexpr std::size_t kRecords = 256;
  t_object* object_ = nullptr;
  std::string bufferPath_;
  std::FILE* log_ = nullptr;
  AppliedPatchRecord records_[kRecords];
};

std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string jsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + jsonText(items[i]);
  return out + "]";
}

// One JSON line per --describe text: what Max would make of an "omber~
// ARGS" box. Atoms before the first "@" are creation arguments; "@name"
// words that name no attribute of the class are listed as unknown.
int describe(const RunnerOptions& options) {
  std::string error;
  const std::string module = options.modulePath.empty() ? defaultModulePath() : options.modulePath;
  if (!loadModule(module, error)) {
    std::fprintf(stderr, "omber-maxhost: %s\n", error.c_str());
    return 1;
  }
  int status = 0;
  for (const std::string& text : options.describe) {
    const std::vector<t_atom> atoms = parseAtoms(text);
    t_object* object = newObject("omber~", atoms);
    if (!object) {
      std::printf("{\"args\":%s,\"created\":false}\n", jsonText(text).c_str());
      status = 1;
      continue;
    }
    const std::vector<std::string> attributes = attributeNames(object);
    std::vector<std::string> arguments, unknown;
    bool inAttributes = false;
    for (const t_atom& atom : atoms) {
      const bool isSymbol = atom.a_type == A_SYM;
      if (isSymbol && atom.a_w.w_sym->s_name[0] == '@') {
        inAttributes = true;
        const std::string name = atom.a_w.w_sym->s_name + 1;
        if (std::find(attributes.begin(), attributes.end(), name) == attributes.end()) unknown.push_back(name);
      } else if (!inAttributes) {
        char number[64];
        if (atom.a_type == A_LONG)
          std::snprintf(number, sizeof number, "%lld", static_cast<long long>(atom.a_w.w_long));
        if (atom.a_type == A_FLOAT) std::snprintf(number, sizeof number, "%g", atom.a_w.w_float);
        arguments.push_back(isSymbol ? std::string(atom.a_w.w_sym->s_name) : std::string(number));
      }
    }
    std::string values = "{";
    for (std::size_t i = 0; i < attributes.size(); ++i) {
      t_atom_long value = 0;
      const bool known = getAttributeLong(object, attributes[i], value);
      values += (i ? "," : "") + jsonText(attributes[i]) + ":" + (known ? std::to_string(value) : "null");
    }
    values += "}";
    const long inlets = std::max(signalInlets(object), 1L);  // the left inlet also takes messages
    std::printf(
        "{\"args\":%s,\"created\":true,\"inlets\":%ld,\"signalInlets\":%ld,\"outlets\":%s,\"attributes\":%s,"
        "\"messages\":%s,\"arguments\":%s,\"unknownAttributes\":%s}\n",
        jsonText(text).c_str(), inlets, signalInlets(object), jsonList(outletTypes(object)).c_str(), values.c_str(),
        jsonList(messageNames(object)).c_str(), jsonList(arguments).c_str(), jsonList(unknown).c_str());
    std::fflush(stdout);
    freeObject(object);
  }
  return status;
}

int run(const RunnerOptions& options) {
  std::string error;
  const std::string module = options.modulePath.empty() ? defaultModulePath() : options.modulePath;
  if (!loadModule(module, error)) {
    std::fprintf(stderr, "omber-maxhost: %s\n", error.c_str());
    return 1;
  }

  std::vector<t_object*> objects;
  std::vector<std::unique_ptr<WavRecorder>> recorders(options.instances.size());
  std::vector<std::unique_ptr<WavSource>> sources(options.instances.size());
  std::vector<std::unique_ptr<PlayerTap>> taps;
  auto freeAll = [&objects] {
    for (t_object* object : objects) freeObject(object);
    objects.clear();
  };
  for (std::size_t i = 0; i < options.instances.size(); ++i) {
    const InstanceRequest& request = options.instances[i];
    const bool feeder = request.role == InstanceRequest::Role::Feeder;
    if (feeder) {
      sources[i] = std::make_unique<WavSource>();
      if (!sources[i]->open(request.wavPath, options.sampleRate, options.quiet, error)) break;
    } else {
      recorders[i] = std::make_unique<WavRecorder>();
      if (!recorders[i]->open(request.wavPath, options.sampleRate, error)) break;
    }
    std::string args = feeder ? "@role 1" : "@role 0";
    if (feeder && options.capture) args += " @capture 1";
    t_object* object = newObject("omber~", parseAtoms(args));
    if (!object) {
      error = "cannot create omber~ " + args;
      break;
    }
    objects.push_back(object);
    if (!feeder && (!request.bufferPath.empty() || !request.patchLogPath.empty())) {
      taps.push_back(std::make_unique<PlayerTap>());
      if (!taps.back()->open(object, request, error)) break;
    }
  }
  auto writeBuffers = [&taps] {
    bool ok = true;
    for (auto& tap : taps) {
      if (!tap->writeBuffer()) {
        std::fprintf(stderr, "omber-maxhost: cannot write %s\n", tap->bufferPath().c_str());
        ok = false;
      }
    }
    return ok;
  };
  if (!error.empty()) {
    std::fprintf(stderr, "omber-maxhost: %s\n", error.c_str());
    taps.clear();
    freeAll();
    return 1;
  }

  SignalChain chain;
  if (!chain.compile(objects, options.sampleRate, options.vectorSize)) {
    std::fprintf(stderr, "omber-maxhost: the signal chain did not compile\n");
    freeAll();
    return 1;
  }
  if (options.port > 0) {
    std::vector<t_atom> connect{longAtom(options.port)};
    if (!options.token.empty()) connect.push_back(symbolAtom(options.token.c_str()));
    for (t_object* object : objects) sendMessage(object, "connect", connect);
  }

  const long vector = options.vectorSize;
  const long long totalFrames =
      options.durationSeconds ? std::llround(*options.durationSeconds * options.sampleRate) : -1;
  if (!options.quiet) {
    char until[64] = "until SIGINT/SIGTERM";
    if (options.durationSeconds) std::snprintf(until, sizeof until, "for %g s", *options.durationSeconds);
    std::fprintf(stderr, "omber-maxhost: %zu instance(s), %.0f Hz, vector %ld, %s, %s\n", objects.size(),
                 options.sampleRate, vector, options.fast ? "as fast as possible" : "real time", until);
  }

  // Only this thread (the audio loop) changes its scheduling: the omber~
  // link threads were started before and keep theirs, as under Max.
  if (options.realtimePriority > 0) {
    sched_param param{};
    param.sched_priority = options.realtimePriority;
    const int failed = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (failed) {
      std::fprintf(stderr, "omber-maxhost: realtime priority %d not permitted (%s); running at normal priority\n",
                   options.realtimePriority, std::strerror(failed));
    }
  }

  using Clock = std::chrono::steady_clock;
  const auto started = Clock::now();
  long long done = 0;
  auto paused = std::chrono::steady_clock::duration::zero();  // wall time spent stalled
  bool stalled = false;
  while (!g_stop.load() && (totalFrames < 0 || done < totalFrames)) {
    if (options.stallAt && !stalled && static_cast<double>(done) >= *options.stallAt * options.sampleRate) {
      stalled = true;
      const auto until =
          Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.stallFor));
      while (!g_stop.load() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      paused = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.stallFor));
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
      if (sources[i]) sources[i]->read(chain.input(i, 0), chain.input(i, 1), static_cast<std::size_t>(vector));
    }
    chain.tick();
    const long long keep = totalFrames < 0 ? vector : std::min<long long>(vector, totalFrames - done);
    for (std::size_t i = 0; i < objects.size(); ++i) {
      if (recorders[i]) recorders[i]->add(chain.output(i, 0), chain.output(i, 1), static_cast<std::size_t>(keep));
    }
    done += keep;
    for (auto& tap : taps) tap->drain();
    if (g_dump.exchange(false)) writeBuffers();
    if (!options.fast) {
      const auto due = started + paused +
                       std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(static_cast<double>(done) / options.sampleRate));
      std::this_thread::sleep_until(due);
    }
  }

  for (auto& tap : taps) tap->drain();
  const bool buffersWritten = writeBuffers();
  taps.clear();
  freeAll();  // joins the link threads before the files close
  for (auto& recorder : recorders) {
    if (recorder) recorder->flush();
  }
  if (!options.quiet) {
    std::fprintf(stderr, "omber-maxhost: stopped after %.3f s of audio (%lld frames)%s\n",
                 static_cast<double>(done) / options.sampleRate, done, g_stop.load() ? " on a signal" : "");
  }
  return buffersWritten ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "omber-maxhost: %s\n(omber-maxhost --help tells the options)\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!options->describe.empty()) return describe(*options);
  installStopHandlers();
  return run(*options);
}

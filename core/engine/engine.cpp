#include "core/engine/engine.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace omber::engine {
namespace {

// No more than 1 MiB may wait in the WebSocket's send buffer after a write.
constexpr std::int64_t kSendLimit = 1048577;
constexpr double kStreamRate = 48000.0;

}  // namespace

Engine::Engine(OutletFn outlet)
    : live_(),
      source_(),
      transport_(std::move(outlet)),
      endpoints_(transport_, live_, source_),
      session_(transport_, live_, source_, [] { return std::int32_t{2}; }),
      settings_() {
  live_.transport = &transport_;
  transport_.setSendGate([this](std::int64_t bytes) { return mayWrite(bytes); });
  endpoints_.setCaptureIntake([this](std::int32_t feeder, std::uint64_t frames, const float* samples) {
    if (std::optional<live::NewSource> source = live_.feed().intake(frames, samples, feeder)) {
      takeNewSource(std::move(*source));
    }
  });
  session_.setConfigProvider([this] { return buildSessionConfig(); });
  session_.setSamplesProvider([this]() -> const std::vector<float>& { return settings_.startSamples; });
  session_.setChannelProvider([this] { return settings_.startChannels; });
  // One zstd decoder for the whole session: its contexts and output memory
  // are reused from slice to slice.
  session_.setSliceDecompressor(zstdSliceDecompressor());
}

void Engine::inlet(std::string_view selector, const Atoms& atoms) noexcept {
  const Handler handler = handlerFor(selector);
  if (!handler) return;
  // A failure abandons this message only; the engine stays usable for the
  // next one, and the failure is kept for whoever asks (see lastFailure).
  try {
    (this->*handler)(atoms);
  } catch (const std::bad_alloc&) {
    // A source or document too large for the memory left.
    noteFailure(selector, "out of memory");
  } catch (const std::exception& error) {
    // A decoder's error (CompressionError, WavError) on bytes that passed
    // the handler's own checks, or a container's length or range error.
    noteFailure(selector, error.what());
  } catch (...) {
    // Nothing of the engine's own throws anything else: this came out of the
    // host's outlet callback, which reports it on its own side.
    noteFailure(selector, "the outlet callback failed");
  }
}

void Engine::noteFailure(std::string_view selector, std::string_view reason) noexcept {
  ++failure_.count;
  // Copied into fixed storage: this may run with no memory left.
  const auto copy = [](std::string_view from, auto& to) {
    const std::size_t n = std::min(from.size(), to.size() - 1);
    std::copy_n(from.data(), n, to.data());
    to[n] = '\0';
  };
  copy(selector, failure_.selector);
  copy(reason, failure_.reason);
}

bool Engine::mayWrite(std::int64_t bytes) const {
  // buffered + bytes < limit, without overflowing for extreme values.
  if (bytes < 0 && bytes < kSendLimit - std::numeric_limits<std::int64_t>::max()) return true;
  return settings_.serverBuffered < kSendLimit - bytes;
}

void Engine::takeNewSource(live::NewSource source) {
  // Taken over, not copied; the previous source's memory is released.
  settings_.startSamples = std::move(source.samples);
  settings_.startChannels = std::max<std::int32_t>(source.channels, 1);
  if (!settings_.startSamples.empty()) startSourceUpload();
}

void Engine::startSourceUpload() {
  settings_.blendSmoothingStarted = false;
  session_.beginSourceUpload();
}

SessionConfig Engine::buildSessionConfig() {
  SessionConfig config;
  config.prompt = composeTagTextA();
  config.depth = settings_.depth;
  config.steps = settings_.steps;
  config.sde = settings_.sde;
  config.lora = true;
  if (live_.feed().sourceTempo() > 0) config.bpm = live_.feed().sourceTempo();
  config.fixedDurationBackend = settings_.backend == "sa3";
  if (config.fixedDurationBackend) {
    if (settings_.fixedRenderDuration > 0) {
      config.duration = settings_.fixedRenderDuration;
    } else if (settings_.startChannels > 0) {
      const std::size_t frames = settings_.startSamples.size() / static_cast<std::size_t>(settings_.startChannels);
      if (frames >= 1) config.duration = static_cast<double>(frames) / kStreamRate;
    }
    live_.grid().setRenderLength(config.duration.value_or(0.0));
  }
  return config;
}

}  // namespace omber::engine

#include "external/core/instance.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>

#include "link/frame.h"

namespace omber::external {

Instance::Instance(InstanceState::PostFn post, LinkThread::Timing timing, std::size_t captureBytes)
    : state_(std::move(post), captureBytes), link_(state_, timing) {}

Instance::~Instance() {
  state_.running.store(false, std::memory_order_release);
  link_.join();
}

void Instance::start(bool captureOn) {
  setCapture(captureOn);
  link_.start();
}

void Instance::connect(std::optional<long> port, std::optional<std::string> token) {
  if (!port) {
    state_.post("omber~: connect <port>");
    return;
  }
  if (*port < 1 || *port > 65535) {
    state_.post("omber~: bad port " + std::to_string(*port));
    return;
  }
  if (token && (token->empty() || token->size() > link::kMaxTokenBytes)) {
    state_.post("omber~: bad token");
    return;
  }
  state_.link.connect(static_cast<std::uint16_t>(*port), token ? std::move(*token) : std::string());
}

void Instance::prepare(double sampleRate, long maxVectorFrames) {
  state_.sampleRate.store(sampleRate, std::memory_order_relaxed);
  const auto wanted = static_cast<std::size_t>(std::max(maxVectorFrames, 0L));
  if (wanted > scratchLeft_.size()) {
    scratchLeft_.assign(wanted, 0.0f);
    scratchRight_.assign(wanted, 0.0f);
  }
}

void Instance::applyCommands() noexcept {
  PlayerCommand command;
  const bool logging = state_.logPatches.load(std::memory_order_relaxed);
  std::int64_t now = -1;  // read once per vector, at the first logged patch
  for (int i = 0; i < kCommandsPerVector && state_.commands.pop(command); ++i) {
    const CommandKind kind = command.kind;
    const std::uint32_t startFrame = command.startFrame;
    const std::uint32_t frames = command.frames;
    const PlayerVoice::Released released = state_.voice.apply(command);
    for (int b = 0; b < released.count; ++b) state_.releaseBlock(released.blocks[b]);
    if (logging && kind == CommandKind::Patch) {
      if (now < 0) {
        now = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
      }
      state_.appliedPatches.push(AppliedPatch{now, startFrame, frames});
    }
  }
}

std::size_t Instance::takeAppliedPatches(AppliedPatch* out, std::size_t max) noexcept {
  std::size_t count = 0;
  while (out && count < max && state_.appliedPatches.pop(out[count])) ++count;
  return count;
}

bool Instance::writeBuffer(const std::string& path) const {
  const PlayerVoice& voice = state_.voice;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  const std::uint64_t samples = voice.currentSamples() ? voice.frames() * voice.channels() : 0;
  const std::uint32_t header[2] = {voice.channels(), static_cast<std::uint32_t>(samples ? voice.frames() : 0)};
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(header[i / 4] >> (8 * (i % 4)));
  bool ok = std::fwrite(bytes, 1, sizeof bytes, file.get()) == sizeof bytes;
  // Samples go out in little-endian byte order whatever the machine's.
  unsigned char chunk[4096];
  std::size_t used = 0;
  for (std::uint64_t i = 0; ok && i < samples; ++i) {
    std::uint32_t word;
    std::memcpy(&word, voice.currentSamples() + i, 4);
    for (int b = 0; b < 4; ++b) chunk[used++] = static_cast<unsigned char>(word >> (8 * b));
    if (used == sizeof chunk) {
      ok = std::fwrite(chunk, 1, used, file.get()) == used;
      used = 0;
    }
  }
  if (ok && used) ok = std::fwrite(chunk, 1, used, file.get()) == used;
  return std::fclose(file.release()) == 0 && ok;
}

void Instance::perform(const double* const* ins, long inCount, double* const* outs, long outCount,
                       long frameCount) noexcept {
  applyCommands();
  const std::size_t frames = frameCount > 0 ? static_cast<std::size_t>(frameCount) : 0;
  const double sampleRate = state_.sampleRate.load(std::memory_order_relaxed);

  if (role() == kRoleFeeder) {
    for (long i = 0; i < outCount; ++i) {
      if (!outs[i]) continue;
      if (i < 2 && i < inCount && ins[i]) {
        std::copy(ins[i], ins[i] + frames, outs[i]);
      } else {
        std::fill(outs[i], outs[i] + frames, 0.0);
      }
    }
  } else {
    renderPlayer(outs, outCount, frames, sampleRate);
  }
  capture(ins, inCount, frames, sampleRate);
}

void Instance::renderPlayer(double* const* outs, long outCount, std::size_t frames, double sampleRate) noexcept {
  double* left = outCount > 0 ? outs[0] : nullptr;
  double* right = outCount > 1 ? outs[1] : nullptr;
  const std::size_t capacity = scratchLeft_.size();
  // A vector larger than dsp64 announced is rendered in scratch-sized pieces;
  // without scratch (no dsp64 yet) the outputs stay silent.
  std::size_t done = 0;
  while (done < frames && capacity > 0) {
    const std::size_t count = std::min(capacity, frames - done);
    state_.voice.render(scratchLeft_.data(), scratchRight_.data(), count, sampleRate);
    if (left) std::copy(scratchLeft_.data(), scratchLeft_.data() + count, left + done);
    if (right) std::copy(scratchRight_.data(), scratchRight_.data() + count, right + done);
    done += count;
  }
  if (left) std::fill(left + done, left + frames, 0.0);
  if (right) std::fill(right + done, right + frames, 0.0);
  for (long i = 2; i < outCount; ++i) {
    if (outs[i]) std::fill(outs[i], outs[i] + frames, 0.0);
  }
  state_.reportedPlayHead.store(state_.voice.playHead() / PlayerVoice::kBufferRate, std::memory_order_relaxed);
  state_.reportedSwapCount.store(state_.voice.swapCount(), std::memory_order_relaxed);
}

void Instance::capture(const double* const* ins, long inCount, std::size_t frames, double sampleRate) noexcept {
  if (!state_.capturing.load(std::memory_order_relaxed)) {
    wasCapturing_ = false;
    return;
  }
  if (!wasCapturing_) resampler_.reset();
  wasCapturing_ = true;
  if (inCount < 1 || !ins[0]) return;
  const double* left = ins[0];
  const double* right = inCount > 1 && ins[1] ? ins[1] : ins[0];
  resampler_.process(left, right, frames, sampleRate, state_.captureRing);
}

}  // namespace omber::external

// Keeping the players' copy of the source buffer equal to the engine's:
// loading, swapping and patching, play-head reports, Live's transport and
// the waveform peaks.
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/live/live_audio_path.h"

namespace omber::live {
namespace {

// Every buffer the players receive counts as 48 kHz.
constexpr double kBufferRate = 48000.0;
// Bins of the waveform overview, and the frame stride inside a bin.
constexpr std::uint64_t kPeakBins = 200;
constexpr std::uint64_t kPeakStride = 8;

}  // namespace

void Playback::holdSource(const float* samples, std::uint64_t frames) {
  bufferSamples_ = samples;
  bufferFrames_ = frames;
}

void Playback::moveTo(double seconds) {
  live_.transport->seekPlayers(seconds);
  reportedPlayHead_ = seconds;
}

void Playback::band(double startSeconds, double endSeconds) {
  live_.transport->setPlayersBand(startSeconds, endSeconds);
}

void Playback::capture(bool on) {
  capturing_ = on;
  live_.transport->captureFeeders(on);
}

void Playback::setTransportRunning(bool running) {
  transportRunning_ = running;
  live_.transport->runPlayers(running);
}

void Playback::start(std::int32_t channelCount, std::int32_t epoch) {
  const std::uint64_t frames = bufferFrames_;
  totalSamples_ = static_cast<std::int64_t>(frames) * channelCount;
  channels_ = channelCount;
  generation_ = epoch;
  hasBuffer_ = true;

  // Every connected player loads the whole buffer and starts it at frame 0.
  ITransport& transport = *live_.transport;
  transport.initPlayers(bufferSamples_, frames, channelCount, kBufferRate);

  swapCount_ = 0;
  ++initCount_;
  reportedPlayHead_ = 0.0;
  playing_ = true;
  live_.grid().streamStarted();
  live_.feed().streamStarted();

  // A finished print's bars become the loop of this stream: its first
  // section of that length, unless the performer chose a loop start.
  const std::optional<std::int32_t> printBars = live_.feed().takePendingLoopBars();
  if (printBars && live_.grid().loopStartBar() < 0) {
    live_.grid().setLoopLength(std::max(*printBars, 1));
    live_.grid().setLoopStart(0);
  }

  // Band, seek, play head and resume point for the region; the first bar
  // line that can places the players on the grid.
  live_.grid().applySection(live_.grid().loopStartBar());
  live_.grid().requestResync();

  // What the performer chose before the stream started.
  for (const SessionLora& lora : live_.sessionLoras) {
    if (lora.id) transport.sendEnableLora(*lora.id, lora.strength);
  }
  const auto restate =
      [&transport](const SourceClip& clip,
                   void (ITransport::*sendSource)(const float*, std::uint64_t, std::int32_t, const std::string&),
                   void (ITransport::*sendFixture)(const std::string&)) {
        if (clip.held) {
          const std::int32_t clipChannels = std::max(clip.channels, 1);
          const std::uint64_t clipFrames = clip.samples.size() / static_cast<std::size_t>(clipChannels);
          (transport.*sendSource)(clip.samples.data(), clipFrames, clip.channels, clip.name);
        } else if (!clip.name.empty()) {
          (transport.*sendFixture)(clip.name);
        }
      };
  restate(live_.timbre, &ITransport::sendTimbreSource, &ITransport::sendTimbreFixture);
  restate(live_.structure, &ITransport::sendStructureSource, &ITransport::sendStructureFixture);

  std::int32_t sections = 0;
  if (live_.readiness().ready()) {
    const double sectionSeconds = live_.grid().barLength() * live_.grid().loopLength();
    const double whole = std::floor(live_.readiness().sourceDuration() / sectionSeconds);
    sections = whole >= 1 ? static_cast<std::int32_t>(std::min(whole, 2147483647.0)) : 1;
  }
  transport.emitReady(sections);
}

void Playback::swapGeneration(std::int32_t channelCount, std::int32_t epoch) {
  totalSamples_ = static_cast<std::int64_t>(bufferFrames_) * channelCount;
  channels_ = channelCount;
  generation_ = epoch;
  // Every player crossfades to the new buffer and keeps its frame position.
  live_.transport->swapPlayers(bufferSamples_, bufferFrames_, channelCount);
  // Position reports of the old generation are ignored from now on.
  swapCount_ += 1;
  live_.feed().sourceSwapped();
  if (playing_) live_.grid().restateSection();
  live_.transport->emitSwap();
}

// Stereo frames of a slice's Patch: what fits the players' buffer, none
// for another generation (the Patch frame is always stereo).
std::optional<std::uint64_t> Playback::slicePatchFrames(std::int32_t sliceEpoch, std::uint32_t startFrame,
                                                        std::uint64_t sampleCount) const {
  if (sliceEpoch != generation_) return std::nullopt;
  const std::int64_t room = totalSamples_ - static_cast<std::int64_t>(channels_) * startFrame;
  if (room <= 0 || sampleCount == 0) return std::nullopt;
  return std::min(static_cast<std::uint64_t>(room), sampleCount) / 2;
}

void Playback::patchSlice(std::int32_t sliceEpoch, std::uint32_t startFrame, const float* samples,
                          std::uint64_t sampleCount) {
  const std::optional<std::uint64_t> frames = slicePatchFrames(sliceEpoch, startFrame, sampleCount);
  if (!frames) return;
  live_.transport->patchPlayers(samples, startFrame, *frames);
}

PatchFrame Playback::openSlicePatch(std::int32_t sliceEpoch, std::uint32_t startFrame, std::uint64_t sampleCount) {
  const std::optional<std::uint64_t> frames = slicePatchFrames(sliceEpoch, startFrame, sampleCount);
  if (!frames) return PatchFrame();
  return live_.transport->openPatch(startFrame, *frames);
}

void Playback::reportPlayHead(double seconds, std::int32_t reportedSwapCount) {
  if (reportedSwapCount == swapCount_) reportedPlayHead_ = seconds;
}

void Playback::reportPeaks() {
  ITransport* transport = live_.transport;
  if (!transport || !bufferSamples_ || bufferFrames_ == 0) return;
  const std::uint64_t frames = bufferFrames_;
  const std::uint64_t stride = static_cast<std::uint64_t>(channels_ < 1 ? 2 : channels_);
  const std::uint64_t bin = std::max<std::uint64_t>(frames / kPeakBins, 1);

  Atoms atoms;
  atoms.reserve(2 + kPeakBins);
  atoms.emplace_back(live_.readiness().ready() ? live_.readiness().sourceDuration() : 0.0);
  atoms.emplace_back(live_.grid().barLength());
  for (std::uint64_t i = 0; i < kPeakBins; ++i) {
    const std::uint64_t begin = std::min(i * bin, frames);
    const std::uint64_t end = std::min((i + 1) * bin, frames);
    float peak = 0.0f;
    for (std::uint64_t f = begin; f < end; f += kPeakStride) {
      const float v = std::fabs(bufferSamples_[f * stride]);
      if (v > peak) peak = v;
    }
    atoms.emplace_back(std::round(static_cast<double>(peak) * 100.0) / 100.0);
  }
  transport->emit("peaks", std::move(atoms));
}

}  // namespace omber::live

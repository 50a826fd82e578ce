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

void LiveAudioPath::init(std::uint64_t frames, std::int32_t channelCount, double sampleRate) {
  transport->initPlayers(bufferSamples, frames, channelCount, sampleRate);
}

void LiveAudioPath::patch(std::uint32_t startFrame, std::uint64_t frames) {
  transport->patchPlayers(patchSamples, startFrame, frames);
}

void LiveAudioPath::swap(std::int32_t channelCount, std::uint64_t frames) {
  transport->swapPlayers(bufferSamples, frames, channelCount);
}

void LiveAudioPath::band(double startSeconds, double endSeconds) {
  transport->setPlayersBand(startSeconds, endSeconds);
}

void LiveAudioPath::seek(double seconds) { transport->seekPlayers(seconds); }
void LiveAudioPath::run(bool isPlaying) { transport->runPlayers(isPlaying); }
void LiveAudioPath::capture(bool on) {
  capturing = on;
  transport->captureFeeders(on);
}

void LiveAudioPath::startPlayback(std::uint64_t frames, std::int32_t channelCount, std::int32_t epoch) {
  totalSamples = static_cast<std::int64_t>(frames) * channelCount;
  channels = channelCount;
  generation = epoch;
  hasBuffer = true;

  // Every connected player loads the whole buffer and starts it at frame 0.
  init(frames, channelCount, kBufferRate);

  swapCount = 0;
  ++initCount;
  reportedPlayHead = 0.0;
  playing = true;
  grid_.streamStarted();
  feed_.streamStarted();

  // A finished print's bars become the loop of this stream: its first
  // section of that length, unless the performer chose a loop start.
  const std::optional<std::int32_t> printBars = feed_.takePendingLoopBars();
  if (printBars && grid_.loopStartBar() < 0) {
    grid_.setLoopLength(std::max(*printBars, 1));
    grid_.setLoopStart(0);
  }

  // Band, seek, play head and resume point for the region; the first bar
  // line that can places the players on the grid.
  grid_.applySection(grid_.loopStartBar());
  grid_.requestResync();

  // What the performer chose before the stream started.
  for (const SessionLora& lora : sessionLoras) {
    if (lora.id) transport->sendEnableLora(*lora.id, lora.strength);
  }
  const auto restate =
      [this](const SourceClip& clip,
             void (ITransport::*sendSource)(const float*, std::uint64_t, std::int32_t, const std::string&),
             void (ITransport::*sendFixture)(const std::string&)) {
        if (clip.held) {
          const std::int32_t clipChannels = std::max(clip.channels, 1);
          const std::uint64_t clipFrames = clip.samples.size() / static_cast<std::size_t>(clipChannels);
          (transport->*sendSource)(clip.samples.data(), clipFrames, clip.channels, clip.name);
        } else if (!clip.name.empty()) {
          (transport->*sendFixture)(clip.name);
        }
      };
  restate(timbre, &ITransport::sendTimbreSource, &ITransport::sendTimbreFixture);
  restate(structure, &ITransport::sendStructureSource, &ITransport::sendStructureFixture);

  std::int32_t sections = 0;
  if (ready) {
    const double sectionSeconds = grid_.barLength() * grid_.loopLength();
    const double whole = std::floor(sourceDuration / sectionSeconds);
    sections = whole >= 1 ? static_cast<std::int32_t>(std::min(whole, 2147483647.0)) : 1;
  }
  transport->emitReady(sections);
}

void LiveAudioPath::swapGeneration(std::int32_t channelCount, std::uint64_t frames) {
  // Every player crossfades to the new buffer and keeps its frame position.
  swap(channelCount, frames);
  // Position reports of the old generation are ignored from now on.
  swapCount += 1;
  feed_.sourceSwapped();
  if (playing) grid_.restateSection();
  transport->emitSwap();
}

// Stereo frames of a slice's Patch: what fits the players' buffer, none
// for another generation (the Patch frame is always stereo).
std::optional<std::uint64_t> LiveAudioPath::slicePatchFrames(std::int32_t sliceEpoch, std::uint32_t startFrame,
                                                             std::uint64_t sampleCount) const {
  if (sliceEpoch != generation) return std::nullopt;
  const std::int64_t room = totalSamples - static_cast<std::int64_t>(channels) * startFrame;
  if (room <= 0 || sampleCount == 0) return std::nullopt;
  return std::min(static_cast<std::uint64_t>(room), sampleCount) / 2;
}

void LiveAudioPath::patchSlice(std::int32_t sliceEpoch, std::uint32_t startFrame, const float* samples,
                               std::uint64_t sampleCount) {
  const std::optional<std::uint64_t> frames = slicePatchFrames(sliceEpoch, startFrame, sampleCount);
  if (!frames) return;
  patchSamples = samples;
  patchFrames = *frames;
  patch(startFrame, patchFrames);
  patchSamples = nullptr;
  patchFrames = 0;
}

PatchFrame LiveAudioPath::openSlicePatch(std::int32_t sliceEpoch, std::uint32_t startFrame, std::uint64_t sampleCount) {
  const std::optional<std::uint64_t> frames = slicePatchFrames(sliceEpoch, startFrame, sampleCount);
  if (!frames) return PatchFrame();
  return transport->openPatch(startFrame, *frames);
}

void LiveAudioPath::reportPlayHead(double seconds, std::int32_t reportedSwapCount) {
  if (reportedSwapCount == swapCount) reportedPlayHead = seconds;
}

void LiveAudioPath::setTransportRunning(bool running) { run(running); }

void LiveAudioPath::reportPeaks() {
  if (!transport || !bufferSamples || bufferFrames == 0) return;
  const std::uint64_t frames = bufferFrames;
  const std::uint64_t stride = static_cast<std::uint64_t>(channels < 1 ? 2 : channels);
  const std::uint64_t bin = std::max<std::uint64_t>(frames / kPeakBins, 1);

  Atoms atoms;
  atoms.reserve(2 + kPeakBins);
  atoms.emplace_back(ready ? sourceDuration : 0.0);
  atoms.emplace_back(grid_.barLength());
  for (std::uint64_t i = 0; i < kPeakBins; ++i) {
    const std::uint64_t begin = std::min(i * bin, frames);
    const std::uint64_t end = std::min((i + 1) * bin, frames);
    float peak = 0.0f;
    for (std::uint64_t f = begin; f < end; f += kPeakStride) {
      const float v = std::fabs(bufferSamples[f * stride]);
      if (v > peak) peak = v;
    }
    atoms.emplace_back(std::round(static_cast<double>(peak) * 100.0) / 100.0);
  }
  transport->emit("peaks", std::move(atoms));
}

}  // namespace omber::live

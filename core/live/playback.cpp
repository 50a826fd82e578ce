// Keeping the players' copy of the source buffer equal to the engine's:
// loading, swapping and patching, play-head reports, Live's transport and
// the waveform peaks.
#include "core/live/live_audio_path.h"

namespace omber {

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
void LiveAudioPath::capture(bool on) { transport->captureFeeders(on); }

// Loading the players when a stream starts arrives with playback scheduling.
void LiveAudioPath::startPlayback(std::uint64_t, std::int32_t, std::int32_t) {}

// Swapping the players to a new generation arrives with playback scheduling.
void LiveAudioPath::swapGeneration(std::int32_t, std::uint64_t) {}

// Patching merged slices into the players arrives with playback scheduling.
void LiveAudioPath::patchSlice(std::int32_t, std::uint32_t, const std::vector<float>&) {}

// Following the players' play-head reports arrives with the endpoints.
void LiveAudioPath::reportPlayHead(double, std::int32_t) {}

void LiveAudioPath::setTransportRunning(bool running) { run(running); }

// The waveform overview arrives with playback scheduling.
void LiveAudioPath::reportPeaks(const OutletFn&) {}

}  // namespace omber

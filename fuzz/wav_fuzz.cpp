// Fuzzes the WAV decoder. Accepted files must be self-consistent and their
// samples must survive a re-encode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/audiofile/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const omber::audiofile::DecodedAudio audio = omber::audiofile::decodeWav(data, size);
    if (audio.samples.size() != audio.frames * audio.channels || audio.channels == 0) std::abort();
    for (float s : audio.samples) {
      if (!(s >= -1.0f && s <= 1.0f)) std::abort();
    }
    if (audio.channels <= 8) {
      const auto file = omber::audiofile::encodeWavPcm16(audio.samples.data(), audio.frames,
                                                         static_cast<int>(audio.channels), audio.sampleRate);
      const omber::audiofile::DecodedAudio again = omber::audiofile::decodeWav(file.data(), file.size());
      if (again.samples != audio.samples) std::abort();
    }
  } catch (const omber::audiofile::WavError&) {
  }
  return 0;
}

// 16-bit PCM WAV (RIFF) in memory: decoding into interleaved floats and
// encoding interleaved floats into a complete file image. Nothing else of the
// RIFF family is read or written.
//
// Pure functions: thread-safe, not realtime-safe (they allocate the result).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace omber::audiofile {

// Thrown with one of the fixed texts: "WAV too short", "not a WAVE",
// "WAV fmt chunk truncated", "WAV is not PCM16", "WAV fmt invalid",
// "WAV has no data chunk", or the encoder's size-limit text.
class WavError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DecodedAudio {
  std::vector<float> samples;  // interleaved, channels x frames values
  std::uint32_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::size_t frames = 0;
};

// Walks the chunks with 64-bit offsets (a chunk size near 4 GiB ends the walk
// instead of wrapping around). The last "fmt " and the last "data" chunk
// count; a data chunk declaring more than the file holds yields what is
// present; a trailing partial frame is dropped. Samples scale as s / 32768
// when negative and s / 32767 otherwise, so both extremes map to -1 and +1.
DecodedAudio decodeWav(const std::uint8_t* bytes, std::size_t length);

// The 44-byte header followed by the samples as signed 16-bit values:
// clamped to -1..1 (NaN counts as 1), scaled by 32768 when negative and by
// 32767 otherwise, rounded half away from zero. Channels below 1 count as 1;
// a null `samples` writes silence. Throws WavError
// "encodeWavPcm16: PCM data exceeds WAV 32-bit size limit" when the file
// would not fit the format's 32-bit sizes, and "encodeWavPcm16: channels or
// sample rate exceed WAV header fields" when the block size (2 x channels)
// passes 16 bits or the byte rate (block size x rate) 32 bits.
std::vector<std::uint8_t> encodeWavPcm16(const float* samples, std::size_t frames, int channels,
                                         std::uint32_t sampleRate);

}  // namespace omber::audiofile

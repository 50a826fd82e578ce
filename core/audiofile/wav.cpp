#include "core/audiofile/wav.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace omber::audiofile {
namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::uint64_t kMaxDataBytes = 4294967251ull;  // data size + 44 must fit 32 bits

std::uint16_t u16At(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32At(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
bool tagAt(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

void putU16(std::uint8_t*& p, std::uint16_t v) {
  *p++ = static_cast<std::uint8_t>(v);
  *p++ = static_cast<std::uint8_t>(v >> 8);
}
void putU32(std::uint8_t*& p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) *p++ = static_cast<std::uint8_t>(v >> (8 * i));
}
void putTag(std::uint8_t*& p, const char* tag) {
  std::memcpy(p, tag, 4);
  p += 4;
}

std::int16_t toPcm16(float x) {
  const double clamped = std::isnan(x) ? 1.0 : std::clamp(static_cast<double>(x), -1.0, 1.0);
  const double scaled = clamped < 0 ? clamped * 32768.0 : clamped * 32767.0;
  return static_cast<std::int16_t>(std::round(scaled));
}

}  // namespace

DecodedAudio decodeWav(const std::uint8_t* bytes, std::size_t length) {
  if (length < kHeaderBytes) throw WavError("WAV too short");
  if (!tagAt(bytes, "RIFF") || !tagAt(bytes + 8, "WAVE")) throw WavError("not a WAVE");

  std::uint16_t format = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  bool haveData = false;
  std::uint64_t dataOffset = 0, dataSize = 0;
  // 64-bit offsets: p + 8 + size cannot wrap, so every step moves forward.
  for (std::uint64_t p = 12; p + 8 <= length;) {
    const std::uint8_t* header = bytes + p;
    const std::uint32_t size = u32At(header + 4);
    if (tagAt(header, "fmt ")) {
      if (p + 8 + 16 > length) throw WavError("WAV fmt chunk truncated");
      const std::uint8_t* body = header + 8;
      format = u16At(body);
      channels = u16At(body + 2);
      rate = u32At(body + 4);
      bits = u16At(body + 14);
    } else if (tagAt(header, "data")) {
      haveData = true;
      dataOffset = p + 8;
      dataSize = size;
    }
    p += 8 + static_cast<std::uint64_t>(size) + (size & 1u);
  }
  if (format != 1 || bits != 16) throw WavError("WAV is not PCM16");
  if (channels == 0 || rate == 0) throw WavError("WAV fmt invalid");
  if (!haveData) throw WavError("WAV has no data chunk");

  const std::uint64_t usable = std::min<std::uint64_t>(dataSize, length - dataOffset);
  const std::size_t frames = static_cast<std::size_t>(usable / 2 / channels);
  DecodedAudio audio;
  audio.channels = channels;
  audio.sampleRate = rate;
  audio.frames = frames;
  audio.samples.resize(frames * channels);
  const std::uint8_t* in = bytes + dataOffset;
  for (float& out : audio.samples) {
    const auto s = static_cast<std::int16_t>(u16At(in));
    out = s < 0 ? static_cast<float>(s) / 32768.0f : static_cast<float>(s) / 32767.0f;
    in += 2;
  }
  return audio;
}

std::vector<std::uint8_t> encodeWavPcm16(const float* samples, std::size_t frames, int channels,
                                         std::uint32_t sampleRate) {
  const std::uint32_t ch = static_cast<std::uint32_t>(std::max(channels, 1));
  // Checked by division so that a huge frame count cannot wrap the product.
  if (frames > kMaxDataBytes / 2 / ch) throw WavError("encodeWavPcm16: PCM data exceeds WAV 32-bit size limit");
  // The header's block size is 16 bits and its byte rate 32 bits: a format
  // they cannot hold is refused rather than written with wrapped fields.
  const std::uint64_t blockAlign = std::uint64_t{ch} * 2;
  if (blockAlign > 0xffffu || blockAlign * sampleRate > 0xffffffffu) {
    throw WavError("encodeWavPcm16: channels or sample rate exceed WAV header fields");
  }
  const std::size_t count = frames * ch;
  const auto dataSize = static_cast<std::uint32_t>(count * 2);

  std::vector<std::uint8_t> file(kHeaderBytes + dataSize);
  std::uint8_t* p = file.data();
  putTag(p, "RIFF");
  putU32(p, dataSize + 36);
  putTag(p, "WAVE");
  putTag(p, "fmt ");
  putU32(p, 16);
  putU16(p, 1);
  putU16(p, static_cast<std::uint16_t>(ch));
  putU32(p, sampleRate);
  putU32(p, static_cast<std::uint32_t>(blockAlign * sampleRate));
  putU16(p, static_cast<std::uint16_t>(blockAlign));
  putU16(p, 16);
  putTag(p, "data");
  putU32(p, dataSize);
  if (samples) {
    for (std::size_t i = 0; i < count; ++i) putU16(p, static_cast<std::uint16_t>(toPcm16(samples[i])));
  }
  return file;
}

}  // namespace omber::audiofile

#include "core/audiofile/wav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "support/files.h"

namespace omber::audiofile {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string outcomeOf(const Bytes& file) {
  try {
    const DecodedAudio a = decodeWav(file.data(), file.size());
    EXPECT_EQ(a.samples.size(), a.frames * a.channels);
    return "accept: ch=" + std::to_string(a.channels) + " rate=" + std::to_string(a.sampleRate) +
           " frames=" + std::to_string(a.frames);
  } catch (const WavError& e) {
    return std::string("reject: \"") + e.what() + "\"";
  }
}

// Every file of the four WAV folders, the two 32-bit wrap traps included:
// each returns (no endless walk) with its pinned outcome.
TEST(WavConformance, EveryFileGivesItsPinnedOutcome) {
  std::size_t checked = 0;
  for (const char* folder : {"wav-generated", "wav-hound", "wav-go-audio", "wav-scipy"}) {
    const std::string dir = testing::conformancePath(folder);
    std::map<std::string, std::string> expected;
    for (const auto& row : testing::readmeFileRows(dir + "/README.md")) {
      if (row.size() == 3) expected[row[0]] = row[2];
    }
    const auto files = testing::filesEndingWith(dir, ".wav");
    EXPECT_EQ(files.size(), expected.size()) << folder;
    for (const std::string& name : files) {
      ASSERT_TRUE(expected.count(name)) << folder << "/" << name;
      EXPECT_EQ(outcomeOf(testing::readBytes(dir + "/" + name)), expected[name]) << folder << "/" << name;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 28u + 22u + 10u + 22u);
}

TEST(WavDecode, SampleScalingReachesBothExtremes) {
  const Bytes file = testing::readBytes(testing::conformancePath("wav-generated/extreme-sample-values.wav"));
  const DecodedAudio a = decodeWav(file.data(), file.size());
  const std::vector<float> want = {-1.0f,           1.0f, 0.0f, -1.0f / 32768, 1.0f / 32767, -0.5f, 16384.0f / 32767,
                                   32766.0f / 32767};
  EXPECT_EQ(a.samples, want);
}

Bytes chunk(const char* id, const Bytes& body, bool pad) {
  Bytes out(id, id + 4);
  const auto n = static_cast<std::uint32_t>(body.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  out.insert(out.end(), body.begin(), body.end());
  if (pad && (body.size() & 1)) out.push_back(0);
  return out;
}

TEST(WavDecode, ChunkWalkHonoursPadBytesAndPartialFrames) {
  const Bytes header = encodeWavPcm16(nullptr, 0, 2, 48000);
  const Bytes fmt(header.begin() + 12, header.begin() + 36);  // "fmt " chunk, stereo
  Bytes file(header.begin(), header.begin() + 12);
  const Bytes odd = chunk("JUNK", Bytes(3, 0xAA), true);
  file.insert(file.end(), odd.begin(), odd.end());
  file.insert(file.end(), fmt.begin(), fmt.end());
  const Bytes data = chunk("data", {0x00, 0x40, 0x00, 0xC0, 0xFF, 0x7F}, true);  // 3 samples: stereo drops one
  file.insert(file.end(), data.begin(), data.end());
  const DecodedAudio a = decodeWav(file.data(), file.size());
  EXPECT_EQ(a.channels, 2u);
  EXPECT_EQ(a.frames, 1u);
  EXPECT_EQ(a.samples, (std::vector<float>{16384.0f / 32767, -0.5f}));
}

TEST(WavEncode, HeaderAndSampleConversion) {
  const float stereo[] = {-1.0f, 1.0f, 0.5f, -0.5f, 2.0f, -7.0f, NAN, 0.0f};
  const Bytes file = encodeWavPcm16(stereo, 4, 2, 48000);
  ASSERT_EQ(file.size(), 44u + 16u);
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
  };
  const auto i16 = [&](std::size_t at) { return static_cast<std::int16_t>(file[at] | file[at + 1] << 8); };
  EXPECT_EQ(u32(4), 16u + 36u);
  EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(u32(16), 16u);
  EXPECT_EQ(i16(20), 1);
  EXPECT_EQ(i16(22), 2);
  EXPECT_EQ(u32(24), 48000u);
  EXPECT_EQ(u32(28), 192000u);
  EXPECT_EQ(i16(32), 4);
  EXPECT_EQ(i16(34), 16);
  EXPECT_EQ(std::memcmp(file.data() + 36, "data", 4), 0);
  EXPECT_EQ(u32(40), 16u);
  const std::int16_t want[] = {-32768, 32767, 16384, -16384, 32767, -32768, 32767, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(i16(44 + 2 * i), want[i]) << i;

  const Bytes mono = encodeWavPcm16(nullptr, 3, 0, 8000);  // channels 0: mono, silence
  EXPECT_EQ(i16(22), 2);
  EXPECT_EQ(mono[22], 1);
  EXPECT_EQ(mono.size(), 44u + 6u);
  EXPECT_EQ(Bytes(mono.begin() + 44, mono.end()), Bytes(6, 0));
}

TEST(WavEncode, RoundTripAndSizeLimit) {
  std::vector<float> samples(2 * 1000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(static_cast<float>(i) * 0.01f);
  const Bytes file = encodeWavPcm16(samples.data(), 1000, 2, 44100);
  const DecodedAudio back = decodeWav(file.data(), file.size());
  ASSERT_EQ(back.frames, 1000u);
  EXPECT_EQ(back.sampleRate, 44100u);
  for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_NEAR(back.samples[i], samples[i], 1.0 / 32767) << i;

  // 4,294,967,251 data bytes is the largest that fits; the check comes
  // before any allocation, and a frame count that would wrap is caught too.
  const auto tooBig = [](std::size_t frames, int channels) {
    try {
      encodeWavPcm16(nullptr, frames, channels, 48000);
    } catch (const WavError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(tooBig(2147483626, 1), "encodeWavPcm16: PCM data exceeds WAV 32-bit size limit");
  EXPECT_EQ(tooBig(std::size_t{1} << 62, 4), "encodeWavPcm16: PCM data exceeds WAV 32-bit size limit");
}

// The decoder accepts any non-zero rate and channel count, so a decoded file
// may carry a format the header's block size (16 bits) and byte rate
// (32 bits) cannot describe; those are refused instead of wrapped.
TEST(WavEncode, FormatFieldsAtTheirLimits) {
  const auto outcome = [](int channels, std::uint32_t rate) {
    try {
      const Bytes file = encodeWavPcm16(nullptr, 1, channels, rate);
      std::uint32_t byteRate;
      std::memcpy(&byteRate, file.data() + 28, 4);
      return std::to_string(byteRate);
    } catch (const WavError& e) {
      return std::string(e.what());
    }
  };
  const std::string refused = "encodeWavPcm16: channels or sample rate exceed WAV header fields";
  EXPECT_EQ(outcome(2, 1073741823u), "4294967292");  // the largest stereo rate
  EXPECT_EQ(outcome(2, 1073741824u), refused);
  EXPECT_EQ(outcome(2, 4294687616u), refused);  // found by the fuzzer: wrapped to a small rate
  EXPECT_EQ(outcome(1, 4294967295u), refused);
  EXPECT_EQ(outcome(32767, 65537u), "4294901758");
  EXPECT_EQ(outcome(32768, 1u), refused);  // block size 65536
}

}  // namespace
}  // namespace omber::audiofile

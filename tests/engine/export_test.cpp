// Audio export: which frames, which channels, which path, and WAV bytes that
// both our decoder and an independent reader (Python's wave module) read
// back as the loop region of the source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <unistd.h>

#include "core/engine/audio_export.h"
#include "live/stream_fixture.h"

namespace omber::engine {
using namespace omber::audiofile;
using namespace omber::base;
using namespace omber::live;
using namespace omber::server;
using namespace omber::documents;
namespace {

using testing::Message;
using testing::Recorder;
using testing::StreamTest;

// What a 16-bit file holds for a float sample, worked out apart from the
// encoder: clamped, scaled by 32768 below zero and 32767 above, rounded half
// away from zero.
std::int16_t pcm16(float v) {
  const double x = std::clamp(static_cast<double>(v), -1.0, 1.0);
  return static_cast<std::int16_t>(std::lround(x * (x < 0 ? 32768.0 : 32767.0)));
}

std::vector<std::int16_t> pcm16(const float* samples, std::size_t count) {
  std::vector<std::int16_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = pcm16(samples[i]);
  return out;
}

// The samples of a PCM16 WAV file as Python's wave module reads them, or
// nothing when python3 is not there.
std::optional<std::vector<std::int16_t>> readWithPython(const std::vector<std::uint8_t>& wav, int& channels,
                                                        int& rate) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) return std::nullopt;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("omber-export-" + std::to_string(::getpid()) + ".wav");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
  const std::string command =
      "python3 -c \"import wave, array, sys\n"
      "w = wave.open(sys.argv[1], 'rb')\n"
      "assert w.getsampwidth() == 2\n"
      "a = array.array('h', w.readframes(w.getnframes()))\n"
      "print(w.getnchannels(), w.getframerate(), len(a))\n"
      "print(' '.join(map(str, a)))\" " +
      file.string();
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char chunk[65536];
  for (std::size_t n; pipe && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
  const int status = pipe ? ::pclose(pipe) : -1;
  std::filesystem::remove(file);
  EXPECT_EQ(status, 0) << output;
  std::istringstream in(output);
  std::size_t count = 0;
  in >> channels >> rate >> count;
  std::vector<std::int16_t> samples(count);
  for (std::int16_t& s : samples) in >> s;
  return samples;
}

TEST(ExportSpan, TheLoopRegionInFramesClampedIntoTheSource) {
  const auto span = [](double start, double end, std::uint64_t frames) {
    const FrameSpan s = exportSpan(LoopRegion{start, end}, frames);
    return std::make_pair(s.start, s.end);
  };
  EXPECT_EQ(span(2, 6, 768'000), std::make_pair(std::uint64_t{96'000}, std::uint64_t{288'000}));
  // Halves round away from zero.
  EXPECT_EQ(span(0.5 / 48000, 1.5 / 48000, 100), std::make_pair(std::uint64_t{1}, std::uint64_t{2}));
  // A region reaching past the end is cut at the last frame.
  EXPECT_EQ(span(1, 30, 96'000), std::make_pair(std::uint64_t{48'000}, std::uint64_t{96'000}));
  // An end at or before the start, or a start past the end, exports everything.
  EXPECT_EQ(span(4, 4, 96'000), std::make_pair(std::uint64_t{0}, std::uint64_t{96'000}));
  EXPECT_EQ(span(4, 2, 96'000), std::make_pair(std::uint64_t{0}, std::uint64_t{96'000}));
  EXPECT_EQ(span(9, 12, 96'000), std::make_pair(std::uint64_t{0}, std::uint64_t{96'000}));
  EXPECT_EQ(span(std::nan(""), 1, 96'000), std::make_pair(std::uint64_t{0}, std::uint64_t{48'000}));
}

class ExportTest : public ::testing::Test {
 protected:
  void exportNow(const std::string& folder, LoopRegion region = {}, WavEncoder encode = encodeWavPcm16) {
    exportAudio(source, region, folder, recorder.transport(), encode);
  }

  std::vector<std::string> statuses() const {
    std::vector<std::string> out;
    for (const Message& m : recorder.with("ui:status")) out.push_back(m.text(0));
    return out;
  }

  // The file the one "audio:write" carried.
  DecodedAudio written() const {
    const std::vector<Message> writes = recorder.with("audio:write");
    EXPECT_EQ(writes.size(), 1u);
    if (writes.empty()) return {};
    const std::vector<std::uint8_t>& wav = writes[0].bytes(1);
    return decodeWav(wav.data(), wav.size());
  }

  Recorder recorder;
  SourceBuffer source;
};

TEST_F(ExportTest, EveryFailureIsOneStatusAndNoFile) {
  source.samples.assign(96'000, 0.5f);
  source.frames = 48'000;
  exportNow("");
  EXPECT_EQ(statuses(), std::vector<std::string>{"save the Live Set first"});

  recorder.clear();
  exportNow("/sets/Gig", {}, [](const float*, std::size_t, int, std::uint32_t) -> std::vector<std::uint8_t> {
    throw WavError("encodeWavPcm16: PCM data exceeds WAV 32-bit size limit");
  });
  EXPECT_EQ(statuses(), std::vector<std::string>{"audio export failed"});

  for (const SourceBuffer& empty : {SourceBuffer{}, SourceBuffer{{}, 2, 480, 0}, SourceBuffer{{0.5f, 0.5f}, 2, 0, 0}}) {
    recorder.clear();
    source = empty;
    exportNow("/sets/Gig");
    EXPECT_EQ(statuses(), std::vector<std::string>{"nothing to export yet"});
  }
  EXPECT_TRUE(recorder.with("audio:write").empty());
}

TEST_F(ExportTest, MonoStaysMonoAndNoChannelCountIsStereo) {
  source.samples = {0.25f, -0.5f, 1.0f, -1.0f};
  source.channels = 1;
  source.frames = 4;
  exportNow("/sets/Gig");
  DecodedAudio wav = written();
  EXPECT_EQ(wav.channels, 1u);
  EXPECT_EQ(wav.frames, 4u);
  EXPECT_EQ(wav.sampleRate, 48'000u);

  recorder.clear();
  source.channels = 0;
  source.frames = 2;
  exportNow("/sets/Gig");
  wav = written();
  EXPECT_EQ(wav.channels, 2u);
  EXPECT_EQ(wav.frames, 2u);
  EXPECT_EQ(wav.samples, (std::vector<float>{8192 / 32767.0f, -0.5f, 1.0f, -1.0f}));
}

TEST_F(ExportTest, ASourceShorterThanItsFrameCountExportsWhatItHolds) {
  source.samples.assign(10, 0.1f);  // 5 stereo frames, though 480 are claimed
  source.frames = 480;
  exportNow("/sets/Gig");
  EXPECT_EQ(written().frames, 5u);
}

// Through the engine's inlet, with a stream playing: the loop region of the
// source goes to "<Live Set folder>/Omber/audio/<12 hex digits>.wav".
TEST_F(StreamTest, TheExportIsTheLoopRegionReadableByAnyReader) {
  send("audio_export_req");
  EXPECT_EQ(recorder.with("ui:status").back().text(0), "save the Live Set first");
  send("live_path", Atoms{Atom("/sets/My"), Atom("Gig/My"), Atom("Gig.als")});
  send("audio_export_req");
  EXPECT_EQ(recorder.with("ui:status").back().text(0), "nothing to export yet");

  startStream(8, 120);
  send("quant", 0);
  send("loop_len", 1);
  send("loop_start", 1);  // bar 1 of 2 s bars: 2 s to 4 s
  recorder.clear();
  send("audio_export_req");
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"audio:write"});
  const std::string path = recorder.messages[0].text(0);
  EXPECT_TRUE(std::regex_match(path, std::regex("/sets/My Gig/Omber/audio/[0-9a-f]{12}\\.wav"))) << path;
  const std::vector<std::uint8_t> wav = recorder.messages[0].bytes(1);

  const std::vector<float>& samples = engine.source().samples;
  const std::vector<std::int16_t> expected = pcm16(samples.data() + 96'000 * 2, 96'000 * 2);
  ASSERT_EQ(wav.size(), 44 + expected.size() * 2);
  std::vector<std::int16_t> stored(expected.size());
  std::memcpy(stored.data(), wav.data() + 44, wav.size() - 44);
  EXPECT_TRUE(stored == expected);

  const DecodedAudio ours = decodeWav(wav.data(), wav.size());
  EXPECT_EQ(ours.channels, 2u);
  EXPECT_EQ(ours.sampleRate, 48'000u);
  ASSERT_EQ(ours.frames, 96'000u);
  // The file's precision: within half a step of 16 bits.
  for (std::size_t i = 0; i < ours.samples.size(); i += 997) {
    EXPECT_NEAR(ours.samples[i], samples[96'000 * 2 + i], 0.5 / 32767) << i;
  }

  int channels = 0, rate = 0;
  const auto python = readWithPython(wav, channels, rate);
  if (!python) GTEST_SKIP() << "python3 is not installed";
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, 48'000);
  EXPECT_TRUE(*python == expected);

  // Another export gets another name.
  send("audio_export_req");
  EXPECT_NE(recorder.with("audio:write")[1].text(0), path);
}

}  // namespace
}  // namespace omber::engine

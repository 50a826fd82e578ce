// A print through the engine's inlet: a scripted feeder connection sends
// CapturePcm frames over the bridge, and the upload that follows is checked
// as the host and the pod would see it.
#include <cstring>
#include <random>

#include "live/stream_fixture.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::frameType;
using testing::framePayload;
using testing::Message;
using testing::StreamTest;

constexpr int kFeeder = 3;

// Finite floats of every kind (negative zero, denormals, large and small
// magnitudes) from random bit patterns, so that "bit for bit" means it.
std::vector<float> randomAudio(std::size_t samples, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<float> out(samples);
  for (float& s : out) {
    std::uint32_t bits = random();
    if ((bits & 0x7f800000u) == 0x7f800000u) bits &= 0xbfffffffu;  // no infinities or NaNs
    std::memcpy(&s, &bits, sizeof s);
  }
  return out;
}

// The feeder's byte stream: CapturePcm frames of at most one second each.
std::vector<std::uint8_t> captureStream(const std::vector<float>& stereo) {
  std::vector<std::uint8_t> out;
  const std::size_t frames = stereo.size() / 2;
  for (std::size_t at = 0; at < frames; at += 48000) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(48000, frames - at));
    const std::vector<std::uint8_t> frame = link::encodeCapturePcm(stereo.data() + at * 2, n);
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

std::vector<std::string> statusTexts(const std::vector<Message>& messages) {
  std::vector<std::string> out;
  for (const Message& m : messages)
    if (m.selector == "ui:status") out.push_back(m.text(0));
  return out;
}

TEST_F(StreamTest, AWholePrintIsUploadedAsTheNewSourceBitForBit) {
  send("tempo", 120);
  send("ext:conn", kFeeder);
  hello(kFeeder, link::kRoleFeeder);
  ASSERT_EQ(recorder.with("ext:role").size(), 1u);
  EXPECT_EQ(recorder.with("ext:role")[0].text(1), "feeders");

  recorder.clear();
  send("canvas_arm", 4);
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ui:gridbpm", "ext:write", "ui:status"}));
  EXPECT_EQ(recorder.messages[0].number(0), 120);
  EXPECT_EQ(recorder.messages[1].text(0), "feeders");
  EXPECT_EQ(frameType(recorder.messages[1]), link::FrameType::Capture);
  EXPECT_EQ(framePayload(recorder.messages[1]), std::vector<std::uint8_t>{1});
  EXPECT_EQ(recorder.messages[2].text(0), "print armed \u2014 4 bars from next barline");

  // The feeder was already sending before the bar line: that audio is not
  // part of the print.
  receive(kFeeder, captureStream(randomAudio(2 * 4800, 7)));
  recorder.clear();
  send("bar");
  EXPECT_EQ(statusTexts(recorder.messages), std::vector<std::string>{"printing 4 bars"});

  // 8 s at 120 BPM: 384,000 frames, arriving in uneven pieces of the stream.
  const std::vector<float> print = randomAudio(384'000 * 2, 42);
  const std::vector<std::uint8_t> bytes = captureStream(print);
  const std::size_t piece = 100'003;
  for (std::size_t at = 0; at + piece < bytes.size(); at += piece) {
    receive(kFeeder, std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                               bytes.begin() + static_cast<std::ptrdiff_t>(at + piece)));
  }
  EXPECT_TRUE(recorder.with("param:stop").empty());
  recorder.clear();
  receive(kFeeder,
          std::vector<std::uint8_t>(bytes.end() - static_cast<std::ptrdiff_t>(bytes.size() % piece), bytes.end()));

  // Capture off (the feed mode is "off"), the print done, the upload begun.
  EXPECT_EQ(recorder.selectors(),
            (std::vector<std::string>{"ext:write", "ui:status", "param:stop", "ui:status", "cloud:resolve"}));
  EXPECT_EQ(framePayload(recorder.messages[0]), std::vector<std::uint8_t>{0});
  EXPECT_EQ(statusTexts(recorder.messages),
            (std::vector<std::string>{"printed 4 bars", "uploading captured track to pod"}));

  recorder.clear();
  send("cloud:wsurl", "ws://pod.test/");
  send("ws:open");
  const std::vector<Message> sends = recorder.with("ws:send");
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_NE(sends[0].bytesText(0).find(R"("bpm":120)"), std::string::npos) << sends[0].bytesText(0);

  // The source audio: 2 channels, 7 repetitions of the print.
  const std::vector<std::uint8_t>& audio = sends[1].bytes(0);
  ASSERT_EQ(audio.size(), 8 + 7 * print.size() * 4);
  EXPECT_EQ(link::getU32(audio.data()), 2u);
  EXPECT_EQ(link::getU32(audio.data() + 4), 2'688'000u);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(std::memcmp(audio.data() + 8 + i * print.size() * 4, print.data(), print.size() * 4), 0) << i;
  }
}

}  // namespace
}  // namespace omber::live

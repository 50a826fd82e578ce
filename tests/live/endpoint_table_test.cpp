// Bridge connections through the engine's inlet: roles, the late player,
// play-head reports, capture audio and dropped connections.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>

#include "core/engine/real_transport.h"
#include "core/live/endpoint_table.h"
#include "live/stream_fixture.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::frameType;
using testing::framePayload;
using testing::Message;
using testing::Recorder;
using testing::StreamTest;

std::vector<std::uint8_t> join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(StreamTest, ALatePlayerGetsTheBufferAndTheBand) {
  send("bars", 2);
  send("loop_start", 1);
  send("ext:conn", 1);
  hello(1, link::kRolePlayer);
  startStream(8, 120);
  recorder.clear();

  send("ext:conn", 3);
  hello(3, link::kRolePlayer);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:role", "ext:write", "ws:send", "ext:write"}));
  EXPECT_EQ(recorder.messages[0].number(0), 3);
  EXPECT_EQ(recorder.messages[0].text(1), "players");

  // The whole buffer, to the new connection only.
  const Message& init = recorder.messages[1];
  EXPECT_EQ(init.text(0), "3");
  ASSERT_EQ(frameType(init), link::FrameType::Init);
  const std::vector<std::uint8_t> payload = framePayload(init);
  const std::vector<float>& samples = engine.source().samples;
  ASSERT_EQ(payload.size(), 10 + samples.size() * 4);
  EXPECT_EQ(link::getU32(payload.data()), 48000u);
  EXPECT_EQ(link::getU16(payload.data() + 4), 2);
  EXPECT_EQ(link::getU32(payload.data() + 6), 384000u);
  EXPECT_EQ(std::memcmp(payload.data() + 10, samples.data(), samples.size() * 4), 0);

  // The band the others loop, without moving anybody.
  EXPECT_EQ(recorder.messages[2].bytesText(0), R"({"type":"loop_band","start_sec":2,"end_sec":6})");
  const Message& band = recorder.messages[3];
  EXPECT_EQ(band.text(0), "players");
  ASSERT_EQ(frameType(band), link::FrameType::Band);
  EXPECT_EQ(band.bytes(1), link::encodeBand(2, 6));
  EXPECT_TRUE(seeks().empty());
}

TEST_F(StreamTest, HelloAnnouncesTheRole) {
  // Nothing loaded yet: a player only learns its group.
  hello(5, link::kRolePlayer);
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ext:role"});
  EXPECT_EQ(recorder.messages[0].text(1), "players");

  startStream(4, 120);
  recorder.clear();
  // A feeder joining a stream hears nothing but its group.
  hello(6, link::kRoleFeeder);
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ext:role"});
  EXPECT_EQ(recorder.messages[0].number(0), 6);
  EXPECT_EQ(recorder.messages[0].text(1), "feeders");
  EXPECT_EQ(engine.endpoints().endpoints().at(6)->role, 1);

  // An unknown role counts as a player but gets no buffer.
  recorder.clear();
  hello(7, 9);
  EXPECT_EQ(recorder.messages.at(0).text(1), "players");
  EXPECT_TRUE(writesTo("7").empty());
  EXPECT_EQ(writesTo("players").size(), 1u);  // the band

  // An empty Hello is ignored; a second Hello changes nothing: no new role,
  // no announcement, no buffer (a peer cannot have the source sent again and again).
  recorder.clear();
  receive(6, link::encodeFrame(static_cast<std::uint8_t>(link::FrameType::Hello), nullptr, 0));
  EXPECT_TRUE(recorder.messages.empty());
  hello(6, link::kRolePlayer);
  hello(7, link::kRolePlayer);
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(engine.endpoints().endpoints().at(6)->role, 1);
  EXPECT_EQ(engine.endpoints().endpoints().at(7)->role, 9);
}

TEST_F(StreamTest, ARepeatedHelloOfAPlayerDoesNotSendTheSourceAgain) {
  startStream(4, 120);
  hello(3, link::kRolePlayer);
  ASSERT_EQ(writesTo("3").size(), 1u);
  recorder.clear();
  for (int i = 0; i < 3; ++i) hello(3, link::kRolePlayer);
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(StreamTest, StalePositionsAreIgnoredAfterASwap) {
  startStream(8, 120);
  hello(2, link::kRolePlayer);
  recorder.clear();

  position(2, 1.5, 0);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 1.5);
  swapGeneration();
  position(2, 3.0, 0);  // still the old generation: shown, not kept
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 1.5);
  position(2, 3.25, 1);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 3.25);

  const auto shown = recorder.with("ui:position");
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].number(0), 1.5);
  EXPECT_EQ(shown[1].number(0), 3.0);
  EXPECT_EQ(shown[2].number(0), 3.25);
}

TEST_F(StreamTest, APlayerJoiningAfterASwapCountsItsSwapsFromItsOwnInit) {
  startStream(8, 120);
  hello(1, link::kRolePlayer);
  swapGeneration();
  swapGeneration();
  hello(2, link::kRolePlayer);  // its Init holds the current generation: its count restarts at 0
  recorder.clear();

  position(2, 2.5, 0);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 2.5);
  position(1, 2.75, 2);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 2.75);

  swapGeneration();
  position(2, 3.0, 0);  // the late player's report from before this swap
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 2.75);
  position(2, 3.5, 1);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 3.5);

  // A new stream loads everybody with a common Init: the late offset no longer applies.
  startStream(8, 120);
  position(2, 1.25, 0);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 1.25);
  position(2, 1.5, 1);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 1.25);
}

TEST_F(StreamTest, MalformedPositionsAreIgnored) {
  std::vector<std::uint8_t> shortPayload;
  link::putF64(shortPayload, 2.0);
  link::putU16(shortPayload, 0);
  link::putU8(shortPayload, 0);  // 11 bytes
  receive(2, link::encodeFrame(link::FrameType::Position, shortPayload));
  position(2, std::numeric_limits<double>::quiet_NaN(), 0);
  position(2, -std::numeric_limits<double>::infinity(), 0);
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 0.0);
  ASSERT_EQ(engine.endpoints().endpoints().count(2), 1u);  // the connection stays
}

TEST_F(StreamTest, ABadFrameLengthDropsTheConnectionAndNewDataStartsAFreshOne) {
  // The Hello before the bad length in the same chunk is handled first.
  std::vector<std::uint8_t> chunk = link::encodeHello(link::kRoleFeeder, 48000, 2);
  chunk = join(chunk, {0, 0, 0, 0});
  chunk = join(chunk, link::encodePosition(5.0, 0));  // never read
  receive(4, chunk);
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:role", "ext:drop"}));
  EXPECT_EQ(recorder.messages[1].number(0), 4);
  EXPECT_EQ(engine.endpoints().endpoints().count(4), 0u);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 0.0);

  // Fresh endpoint, fresh reader, role unknown again.
  recorder.clear();
  position(4, 1.25, 0);
  ASSERT_EQ(engine.endpoints().endpoints().count(4), 1u);
  EXPECT_EQ(engine.endpoints().endpoints().at(4)->role, 0);
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"ui:position"});
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 1.25);

  // An oversized length fails as soon as its four bytes are in.
  recorder.clear();
  receive(4, {0x01, 0x00, 0x00, 0x10});
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"ext:drop"});
}

// The table on its own, where the capture intake can be watched.
class EndpointCaptureTest : public ::testing::Test {
 protected:
  EndpointCaptureTest() {
    live.transport = &transport;
    table.setCaptureIntake([this](std::int32_t, std::uint64_t frames, const float* samples) {
      taken.emplace_back(samples, samples + frames * 2);
    });
  }

  void receive(int id, const std::vector<std::uint8_t>& bytes) { table.onData(id, bytes.data(), bytes.size()); }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  SourceBuffer source;
  EndpointTable table{transport, live, source};
  std::vector<std::vector<float>> taken;
};

TEST_F(EndpointCaptureTest, OnlyFeedersDeliverWholeCaptureFrames) {
  const std::vector<float> stereo = {0.5f, -0.5f, 0.25f, -0.25f, 1.0f, -1.0f};
  const std::vector<std::uint8_t> pcm = link::encodeCapturePcm(stereo.data(), 3);

  receive(1, pcm);  // role still unknown
  receive(1, link::encodeHello(link::kRolePlayer, 48000, 2));
  receive(1, pcm);
  EXPECT_TRUE(taken.empty());

  receive(2, link::encodeHello(link::kRoleFeeder, 48000, 2));
  receive(2, pcm);  // the samples lie 9 bytes into the chunk: not float-aligned
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0], stereo);

  // More frames announced than carried, or not even a frame count: ignored.
  std::vector<std::uint8_t> truncated = pcm;
  truncated[5] = 4;
  receive(2, truncated);
  receive(2, link::encodeFrame(static_cast<std::uint8_t>(link::FrameType::CapturePcm), pcm.data() + 5, 3));
  EXPECT_EQ(taken.size(), 1u);
  EXPECT_EQ(recorder.with("ext:drop").size(), 0u);
}

// A feeder that (re)connects while a print is armed or a feed mode runs is
// told to capture; otherwise the print would wait for it for ever.
TEST_F(EndpointCaptureTest, AFeederJoiningWhileCaptureIsOnIsToldToCapture) {
  receive(2, link::encodeHello(link::kRoleFeeder, 48000, 2));
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"ext:role"});

  live.playback().capture(true);
  recorder.clear();
  receive(3, link::encodeHello(link::kRoleFeeder, 48000, 2));
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:role", "ext:write"}));
  EXPECT_EQ(recorder.messages[1].text(0), "3");
  EXPECT_EQ(recorder.messages[1].bytes(1), link::encodeFlag(link::FrameType::Capture, true));

  // A player joining meanwhile is not a feeder; after capture ends a new
  // feeder is left alone.
  recorder.clear();
  receive(4, link::encodeHello(link::kRolePlayer, 48000, 2));
  live.playback().capture(false);
  recorder.clear();
  receive(5, link::encodeHello(link::kRoleFeeder, 48000, 2));
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"ext:role"});
}

TEST_F(EndpointCaptureTest, AFailureWhileHandlingFramesDropsTheConnection) {
  table.setCaptureIntake([](std::int32_t, std::uint64_t, const float*) { throw std::runtime_error("intake failed"); });
  receive(2, link::encodeHello(link::kRoleFeeder, 48000, 2));
  const float stereo[2] = {0.1f, 0.2f};
  receive(2, join(link::encodeCapturePcm(stereo, 1), link::encodePosition(3.0, 0)));
  EXPECT_EQ(recorder.selectors(), (std::vector<std::string>{"ext:role", "ext:drop"}));
  EXPECT_EQ(table.endpoints().count(2), 0u);
  EXPECT_EQ(live.playback().reportedPlayHead(), 0.0);  // the frame after the failure is never handled

  // Another connection is untouched, and "ext:close" of an unknown id changes nothing.
  receive(3, link::encodePosition(1.0, 0));
  table.onClose(42);
  EXPECT_EQ(table.endpoints().count(3), 1u);
  EXPECT_EQ(live.playback().reportedPlayHead(), 1.0);
}

}  // namespace
}  // namespace omber::live

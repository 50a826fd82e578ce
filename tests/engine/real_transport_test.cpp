#include "core/engine/real_transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "support/recording_outlet.h"

namespace omber::engine {
using namespace omber::base;
namespace {

using testing::floatAt;
using testing::frameType;
using testing::Recorder;

class RealTransportTest : public ::testing::Test {
 protected:
  Recorder recorder;
  RealTransport transport{recorder.outlet()};
};

TEST_F(RealTransportTest, InterfaceMessagesCarryTheirNumbersInOrder) {
  transport.emitSwap();
  transport.emitSection(3, 12.0, 16.0);
  transport.emitStatus("");
  transport.emitSectionPending(-1);
  ASSERT_EQ(recorder.selectors(),
            (std::vector<std::string>{"ui:swap", "ui:section", "ui:status", "ui:section_pending"}));
  EXPECT_TRUE(recorder.messages[0].atoms.empty());
  const auto& section = recorder.messages[1].atoms;
  ASSERT_EQ(section.size(), 3u);
  EXPECT_EQ(section[0].number, 3);
  EXPECT_EQ(section[1].number, 12);
  EXPECT_EQ(section[2].number, 16);
  ASSERT_EQ(recorder.messages[2].atoms.size(), 1u);
  EXPECT_TRUE(recorder.messages[2].atoms[0].isText());
  EXPECT_EQ(recorder.messages[2].text(0), "");
  EXPECT_EQ(recorder.messages[3].number(0), -1);
}

TEST_F(RealTransportTest, OnlyCaptureAddressesTheFeeders) {
  const float stereo[4] = {1, 2, 3, 4};
  transport.initPlayers(stereo, 2, 2, 48000.0);
  transport.patchPlayers(stereo, 7, 2);
  transport.swapPlayers(stereo, 2, 2);
  transport.setPlayersBand(1, 2);
  transport.seekPlayers(3);
  transport.runPlayers(true);
  transport.captureFeeders(true);
  const auto writes = recorder.with("ext:write");
  ASSERT_EQ(writes.size(), 7u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(writes[i].text(0), "players") << i;
  EXPECT_EQ(writes[6].text(0), "feeders");
  EXPECT_EQ(frameType(writes[6]), link::FrameType::Capture);
  EXPECT_EQ(testing::framePayload(writes[6]), std::vector<std::uint8_t>{1});
  EXPECT_EQ(frameType(writes[2]), link::FrameType::Swap);
}

TEST_F(RealTransportTest, AnOpenedPatchSendsWhatPatchPlayersSendsOnce) {
  const float stereo[8] = {1, -2, 3.5f, 4, 5, 6, 7, 8};
  transport.patchPlayers(stereo, 7, 3);
  PatchFrame patch = transport.openPatch(7, 3);
  ASSERT_TRUE(patch.isOpen());
  EXPECT_EQ(patch.room(), 6u);
  patch.append(stereo, 2);
  patch.append(stereo + 2, 6);  // two past the room: dropped
  EXPECT_EQ(patch.room(), 0u);
  EXPECT_EQ(recorder.messages.size(), 1u) << "nothing goes out before send()";
  patch.send();
  patch.send();
  const auto writes = recorder.with("ext:write");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].text(0), "players");
  EXPECT_EQ(writes[1].bytes(1), writes[0].bytes(1));
  EXPECT_FALSE(patch.isOpen());
}

TEST_F(RealTransportTest, APatchSendsOnlyTheSamplesAppended) {
  const float stereo[2] = {0.5f, -0.5f};
  PatchFrame patch = transport.openPatch(3, 2);
  patch.append(stereo, 2);
  patch.send();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].bytes(1), link::encodePatch(3, stereo, 1));

  recorder.clear();
  PatchFrame closed;
  closed.append(stereo, 2);
  closed.send();
  PatchFrame moved = transport.openPatch(0, 1);
  PatchFrame taker = std::move(moved);
  moved.send();  // the frame went with the move
  EXPECT_TRUE(recorder.messages.empty());
  taker.send();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].bytes(1), (std::vector<std::uint8_t>{5, 0, 0, 0, 2, 0, 0, 0, 0}));
}

TEST_F(RealTransportTest, BufferFramesTruncateTheRateAndSendNothingForAbsentSamples) {
  const float samples[6] = {0.5f, -0.5f, 1, 2, 3, 4};
  transport.initPlayers(samples, 3, 2, 44100.9);
  transport.initPlayers(nullptr, 100, 2, 48000.0);
  transport.swapPlayers(samples, 0, 2);  // a product below 1
  const auto writes = recorder.with("ext:write");
  ASSERT_EQ(writes.size(), 3u);
  auto payload = testing::framePayload(writes[0]);
  ASSERT_EQ(payload.size(), 10u + 6 * 4);
  EXPECT_EQ(link::getU32(payload.data()), 44100u);
  EXPECT_EQ(link::getU16(payload.data() + 4), 2u);
  EXPECT_EQ(link::getU32(payload.data() + 6), 3u);
  EXPECT_EQ(floatAt(payload, 10), 0.5f);
  EXPECT_EQ(testing::framePayload(writes[1]).size(), 10u);
  payload = testing::framePayload(writes[2]);
  ASSERT_EQ(payload.size(), 10u);
  EXPECT_EQ(link::getU32(payload.data()), 48000u);
}

TEST_F(RealTransportTest, StartFromPcmSendsZeroSamplesForAbsentAudio) {
  transport.startFromPcm(nullptr, 100, 2, std::nullopt);
  transport.startFromPcm(nullptr, 3, 0, 120.0);
  const auto messages = recorder.with("core:start_from_pcm");
  ASSERT_EQ(messages.size(), 2u);
  ASSERT_EQ(messages[0].atoms.size(), 1u);
  const auto& payload = messages[0].bytes(0);
  ASSERT_EQ(payload.size(), 8u + 800);
  EXPECT_EQ(link::getU32(payload.data()), 2u);
  EXPECT_EQ(link::getU32(payload.data() + 4), 100u);
  for (std::size_t i = 8; i < payload.size(); ++i) ASSERT_EQ(payload[i], 0) << i;
  // A channel count of 0 is written as 1, and every sample counts as a frame.
  ASSERT_EQ(messages[1].atoms.size(), 2u);
  EXPECT_EQ(link::getU32(messages[1].bytes(0).data()), 1u);
  EXPECT_EQ(link::getU32(messages[1].bytes(0).data() + 4), 3u);
  EXPECT_EQ(messages[1].number(1), 120);
}

TEST_F(RealTransportTest, ANewSourceGoesToTheHost) {
  transport.startFromSamples(std::vector<float>{0.5f, -0.5f, 0.25f, 1}, 2, 96.0);
  auto messages = recorder.with("core:start_from_pcm");
  ASSERT_EQ(messages.size(), 1u);
  ASSERT_EQ(messages[0].bytes(0).size(), 8u + 16);
  EXPECT_EQ(link::getU32(messages[0].bytes(0).data() + 4), 2u);
  EXPECT_EQ(floatAt(messages[0].bytes(0), 8 + 12), 1.0f);
  EXPECT_EQ(messages[0].number(1), 96);
}

TEST_F(RealTransportTest, ServerCommandsHaveTheirExactTexts) {
  transport.sendLoopBand(4, 12);
  transport.sendEnableLora("a\"b", 0.5);
  transport.sendTimbreFixture("warm/pad");
  transport.sendStructureFixture("");
  const auto sends = recorder.with("ws:send");
  ASSERT_EQ(sends.size(), 4u);
  EXPECT_EQ(sends[0].bytesText(0), R"({"type":"loop_band","start_sec":4,"end_sec":12})");
  EXPECT_EQ(sends[1].bytesText(0), R"({"type":"enable_lora","id":"a\"b","strength":0.5})");
  EXPECT_EQ(sends[2].bytesText(0), R"({"type":"set_timbre_fixture","name":"warm/pad"})");
  EXPECT_EQ(sends[3].bytesText(0), R"({"type":"set_structure_fixture","name":""})");
}

TEST_F(RealTransportTest, WriteAudioSendsTextThenAudio) {
  WriteAudioRequest request;
  request.at = 1.5;
  request.repeat = "fill";
  request.sourceEpoch = 3;
  EXPECT_TRUE(transport.sendWriteAudio(nullptr, 480, 2, request, std::nullopt));
  const auto sends = recorder.with("ws:send");
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0].bytesText(0), R"({"type":"write_audio","at_s":1.5,"repeat":"fill","source_epoch":3})");
  const auto& audio = sends[1].bytes(0);
  ASSERT_EQ(audio.size(), 8u + 3840);
  EXPECT_EQ(link::getU32(audio.data()), 2u);
  EXPECT_EQ(link::getU32(audio.data() + 4), 480u);
  for (std::size_t i = 8; i < audio.size(); ++i) ASSERT_EQ(audio[i], 0) << i;
}

TEST_F(RealTransportTest, OnlyADroppableWriteIsSkippedWhenTheGateRefuses) {
  std::int64_t asked = -1;
  transport.setSendGate([&](std::int64_t bytes) {
    asked = bytes;
    return false;
  });
  const float samples[4] = {1, 2, 3, 4};
  WriteAudioRequest request;
  request.mix = "replace";
  EXPECT_FALSE(transport.sendWriteAudio(samples, 2, 2, request, true));
  EXPECT_TRUE(recorder.messages.empty());
  const std::string text = R"({"type":"write_audio","mix":"replace"})";
  EXPECT_EQ(asked, static_cast<std::int64_t>(text.size() + 8 + 16));

  EXPECT_TRUE(transport.sendWriteAudio(samples, 2, 2, request, false));
  EXPECT_TRUE(transport.sendWriteAudio(samples, 2, 2, request, std::nullopt));
  const auto sends = recorder.with("ws:send");
  ASSERT_EQ(sends.size(), 4u);
  EXPECT_EQ(sends[0].bytesText(0), text);
  EXPECT_EQ(floatAt(sends[1].bytes(0), 8 + 12), 4.0f);
}

TEST_F(RealTransportTest, SourceAudioWithNoChannelsCountsEverySampleAsAFrame) {
  const float samples[3] = {1, 2, 3};
  transport.sendTimbreSource(samples, 3, 0, "clip");
  transport.sendStructureSource(samples, 1, 3, "s");
  const auto sends = recorder.with("ws:send");
  ASSERT_EQ(sends.size(), 4u);
  EXPECT_EQ(sends[0].bytesText(0), R"({"type":"set_timbre_source","name":"clip"})");
  const auto& audio = sends[1].bytes(0);
  ASSERT_EQ(audio.size(), 8u + 12);
  EXPECT_EQ(link::getU32(audio.data()), 1u);
  EXPECT_EQ(link::getU32(audio.data() + 4), 3u);
  EXPECT_EQ(floatAt(audio, 16), 3.0f);
  EXPECT_EQ(sends[2].bytesText(0), R"({"type":"set_structure_source","name":"s"})");
  EXPECT_EQ(link::getU32(sends[3].bytes(0).data()), 3u);
  EXPECT_EQ(link::getU32(sends[3].bytes(0).data() + 4), 1u);
}

}  // namespace
}  // namespace omber::engine

#include "external/core/frame_translation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "link/frame.h"

namespace omber::external {
namespace {

using link::FrameType;

class FrameTranslation : public ::testing::Test {
 protected:
  // Hands a whole encoded frame to the translator.
  void handle(const std::vector<std::uint8_t>& frame) {
    translator.handle(frame[4], frame.data() + 5, frame.size() - 5);
  }
  void handleRaw(FrameType type, std::vector<std::uint8_t> payload) {
    translator.handle(static_cast<std::uint8_t>(type), payload.data(), payload.size());
  }
  std::vector<PlayerCommand> drain() {
    std::vector<PlayerCommand> out;
    PlayerCommand command;
    while (state.commands.pop(command)) out.push_back(command);
    return out;
  }
  void TearDown() override {
    for (auto& command : drain()) freeSamples(command.block);
  }

  InstanceState state{[](const std::string&) {}};
  FrameTranslator translator{state,
                             FrameTranslator::Timing{std::chrono::milliseconds(30), std::chrono::milliseconds(1)}};
};

TEST_F(FrameTranslation, BuffersAreCopiedWithTheirShapeAndTrailingBytesIgnored) {
  const std::vector<float> samples{1, 2, 3, 4, 5, 6, 7};  // 3 stereo frames and one spare sample
  handle(link::encodeBuffer(FrameType::Init, samples.data(), samples.size(), 2, 44100));
  handle(link::encodeBuffer(FrameType::Swap, samples.data(), 3, 1, 48000));
  auto commands = drain();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].kind, CommandKind::Replace);
  EXPECT_EQ(commands[0].frames, 3u);
  EXPECT_EQ(commands[0].channels, 2);
  EXPECT_EQ(commands[0].block[5], 6.0f);
  EXPECT_EQ(commands[1].kind, CommandKind::Swap);
  EXPECT_EQ(commands[1].channels, 1);
  EXPECT_EQ(commands[1].block[2], 3.0f);
  for (auto& command : commands) freeSamples(command.block);
}

TEST_F(FrameTranslation, AnEmptyInitStillReplacesTheBuffer) {
  handle(link::encodeBuffer(FrameType::Init, nullptr, 0, 2, 48000));
  auto commands = drain();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].kind, CommandKind::Replace);
  EXPECT_EQ(commands[0].frames, 0u);
  EXPECT_NE(commands[0].block, nullptr);  // not mistaken for a failed allocation
  freeSamples(commands[0].block);
}

TEST_F(FrameTranslation, FramesShorterThanTheirTypeNeedsAreIgnored) {
  // Init: under 10 bytes, zero channels, fewer samples than announced.
  handleRaw(FrameType::Init, std::vector<std::uint8_t>(9));
  auto zeroChannels = link::encodeBuffer(FrameType::Init, nullptr, 0, 1, 48000);
  zeroChannels[5 + 4] = 0;
  handle(zeroChannels);
  const std::vector<float> one{1.0f, 2.0f};
  auto truncated = link::encodeBuffer(FrameType::Swap, one.data(), one.size(), 2, 48000);
  truncated[5 + 6] = 2;  // announces 2 frames, carries 1
  handle(truncated);
  handleRaw(FrameType::Patch, std::vector<std::uint8_t>(3));
  handleRaw(FrameType::Band, std::vector<std::uint8_t>(15));
  handleRaw(FrameType::Seek, std::vector<std::uint8_t>(7));
  handleRaw(FrameType::Hello, std::vector<std::uint8_t>(7));  // ours, never the engine's
  handleRaw(static_cast<FrameType>(0x42), std::vector<std::uint8_t>(20));
  EXPECT_TRUE(drain().empty());
}

TEST_F(FrameTranslation, PatchFrameCountRoundsDownAndValuesArePassedOn) {
  std::vector<std::uint8_t> payload(13, 0);  // start 7, one stereo frame, one stray byte
  payload[0] = 7;
  handleRaw(FrameType::Patch, payload);
  handle(link::encodeBand(1.5, 2.5));
  handle(link::encodeSeek(3.25));
  auto commands = drain();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].kind, CommandKind::Patch);
  EXPECT_EQ(commands[0].startFrame, 7u);
  EXPECT_EQ(commands[0].frames, 1u);
  EXPECT_NE(commands[0].block, nullptr);
  EXPECT_EQ(commands[1].kind, CommandKind::Band);
  EXPECT_EQ(commands[1].value1, 1.5);
  EXPECT_EQ(commands[1].value2, 2.5);
  EXPECT_EQ(commands[2].kind, CommandKind::Seek);
  EXPECT_EQ(commands[2].value1, 3.25);
  freeSamples(commands[0].block);
}

TEST_F(FrameTranslation, FlagsAreOffWhenEmptyOrZeroAndCaptureAndRunActAtOnce) {
  handleRaw(FrameType::Loop, {});
  handleRaw(FrameType::Loop, {5});
  auto commands = drain();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].value1, 0.0);
  EXPECT_EQ(commands[1].value1, 1.0);

  handleRaw(FrameType::Capture, {1});
  EXPECT_TRUE(state.capturing.load());
  handleRaw(FrameType::Capture, {});
  EXPECT_FALSE(state.capturing.load());
  handleRaw(FrameType::Run, {0});
  EXPECT_FALSE(state.voice.advancing());
  handleRaw(FrameType::Run, {2});
  EXPECT_TRUE(state.voice.advancing());
  EXPECT_TRUE(drain().empty());  // neither goes through the queue
}

TEST_F(FrameTranslation, AFullQueueDropsTheCommandAfterTheTimeoutOrWhenStopped) {
  while (state.commands.push(PlayerCommand{CommandKind::Loop})) {
  }
  const std::vector<float> samples(4, 1.0f);
  const auto started = std::chrono::steady_clock::now();
  handle(link::encodeBuffer(FrameType::Init, samples.data(), samples.size(), 2, 48000));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(30));
  EXPECT_EQ(translator.dropped(), 1u);

  state.running.store(false);
  handle(link::encodeSeek(1.0));
  EXPECT_EQ(translator.dropped(), 2u);
  EXPECT_EQ(state.commands.size(), CommandQueue::kCapacity);
}

}  // namespace
}  // namespace omber::external

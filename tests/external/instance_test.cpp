#include "external/core/instance.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "voice_helpers.h"

namespace omber::external {
namespace {

struct Vectors {
  explicit Vectors(std::size_t frames) : inL(frames), inR(frames), outL(frames, 7.0), outR(frames, 7.0) {}
  std::vector<double> inL, inR, outL, outR;
  void perform(Instance& instance, long frames) {
    const double* ins[2] = {inL.data(), inR.data()};
    double* outs[2] = {outL.data(), outR.data()};
    instance.perform(ins, 2, outs, 2, frames);
  }
};

class InstanceTest : public ::testing::Test {
 protected:
  std::vector<std::string> posts;
  Instance instance{[this](const std::string& text) { posts.push_back(text); }};
};

TEST_F(InstanceTest, ConnectChecksItsPort) {
  instance.connect(std::nullopt);
  instance.connect(0);
  instance.connect(70000);
  instance.connect(-5);
  EXPECT_EQ(posts, (std::vector<std::string>{"omber~: connect <port>", "omber~: bad port 0", "omber~: bad port 70000",
                                             "omber~: bad port -5"}));
  EXPECT_FALSE(instance.state().link.pending());
  instance.connect(65535);
  const auto target = instance.state().link.take();
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(target->port, 65535);
  EXPECT_EQ(target->token, "");

  // A token, when given, is 1 to 64 bytes.
  instance.connect(7400, std::string());
  instance.connect(7400, std::string(65, 'a'));
  EXPECT_EQ(posts.back(), "omber~: bad token");
  EXPECT_EQ(posts.size(), 6u);
  EXPECT_FALSE(instance.state().link.pending());
  instance.connect(7400, std::string(64, 'a'));
  EXPECT_EQ(instance.state().link.take()->token, std::string(64, 'a'));
}

TEST_F(InstanceTest, FeederPassesItsInputsUnchangedWhileCapturing) {
  instance.setRole(kRoleFeeder);
  instance.setCapture(true);
  instance.prepare(48000.0, 64);
  Vectors v(64);
  for (std::size_t k = 0; k < 64; ++k) {
    v.inL[k] = 0.1 * k;
    v.inR[k] = -0.3 * k + 1e-9;
  }
  v.perform(instance, 64);
  EXPECT_EQ(v.outL, v.inL);
  EXPECT_EQ(v.outR, v.inR);
  EXPECT_EQ(instance.state().captureRing.readable(), 63u * 8);

  // An inlet Max did not supply reads as silence on its outlet.
  const double* ins[2] = {v.inL.data(), nullptr};
  double* outs[2] = {v.outL.data(), v.outR.data()};
  instance.perform(ins, 2, outs, 2, 64);
  EXPECT_EQ(v.outR, std::vector<double>(64, 0.0));
}

TEST_F(InstanceTest, PlayerRendersPublishesAndSwitchesRoleAtTheNextVector) {
  instance.prepare(48000.0, 32);
  instance.state().commands.push(testing::bufferCommand(CommandKind::Replace, 4800));
  Vectors v(64);  // larger than announced: rendered in two pieces
  v.perform(instance, 64);
  EXPECT_FLOAT_EQ(static_cast<float>(v.outL[40]), testing::sampleAt(40, 0));
  EXPECT_FLOAT_EQ(static_cast<float>(v.outR[63]), testing::sampleAt(63, 1));
  EXPECT_DOUBLE_EQ(instance.state().reportedPlayHead.load(), 64.0 / 48000.0);

  instance.setRole(kRoleFeeder);
  v.perform(instance, 64);
  EXPECT_EQ(v.outL, v.inL);
  EXPECT_DOUBLE_EQ(instance.state().reportedPlayHead.load(), 64.0 / 48000.0);  // nothing published
}

TEST_F(InstanceTest, AppliesAtMost256CommandsPerVector) {
  instance.prepare(48000.0, 64);
  for (int i = 0; i < 300; ++i)
    ASSERT_TRUE(instance.state().commands.push(testing::valueCommand(CommandKind::Loop, 0)));
  Vectors v(64);
  v.perform(instance, 64);
  EXPECT_EQ(instance.state().commands.size(), 44u);
  v.perform(instance, 64);
  EXPECT_EQ(instance.state().commands.size(), 0u);
  EXPECT_FALSE(instance.state().voice.loopWhole());
}

TEST_F(InstanceTest, AppliedPatchesAreLoggedOnlyOnRequestAndTheBufferIsWrittenWhole) {
  instance.prepare(48000.0, 64);
  Vectors v(64);
  instance.state().commands.push(testing::bufferCommand(CommandKind::Replace, 100));
  PlayerCommand patch = testing::bufferCommand(
      CommandKind::Patch, 3, 2, [](std::size_t f, int c) { return static_cast<float>(f * 2 + c) + 0.5f; });
  patch.startFrame = 10;
  instance.state().commands.push(patch);
  v.perform(instance, 64);
  AppliedPatch records[8];
  EXPECT_EQ(instance.takeAppliedPatches(records, 8), 0u);  // not asked for

  instance.logPatches(true);
  for (std::uint32_t start : {20u, 30u}) {
    PlayerCommand more = testing::bufferCommand(CommandKind::Patch, 2);
    more.startFrame = start;
    instance.state().commands.push(more);
    instance.state().commands.push(testing::valueCommand(CommandKind::Seek, 0.0));  // not a patch
    v.perform(instance, 64);
  }
  ASSERT_EQ(instance.takeAppliedPatches(records, 8), 2u);
  EXPECT_EQ(records[0].startFrame, 20u);
  EXPECT_EQ(records[1].startFrame, 30u);
  EXPECT_EQ(records[0].frames, 2u);
  EXPECT_GT(records[0].atNanoseconds, 0);
  EXPECT_LE(records[0].atNanoseconds, records[1].atNanoseconds);
  EXPECT_EQ(instance.takeAppliedPatches(records, 8), 0u);  // moved out

  const std::string path = ::testing::TempDir() + "instance_buffer.bin";
  ASSERT_TRUE(instance.writeBuffer(path));
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::vector<unsigned char> bytes(8 + 100 * 2 * 4 + 1);
  const std::size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  std::remove(path.c_str());
  ASSERT_EQ(size, 8u + 100 * 2 * 4);
  EXPECT_EQ(bytes[0], 2);    // channels
  EXPECT_EQ(bytes[4], 100);  // frames
  float sample;
  std::memcpy(&sample, bytes.data() + 8 + (10 * 2 + 1) * 4, 4);  // frame 10, right channel
  EXPECT_EQ(sample, 1.5f);
  std::memcpy(&sample, bytes.data() + 8 + 5 * 2 * 4, 4);
  EXPECT_EQ(sample, testing::sampleAt(5, 0));
  EXPECT_FALSE(instance.writeBuffer("/nonexistent-folder/buffer.bin"));
}

TEST_F(InstanceTest, SilentWithoutDsp64AndCaptureRestartsTheResampler) {
  instance.state().commands.push(testing::bufferCommand(CommandKind::Replace, 100));
  Vectors v(16);
  v.perform(instance, 16);
  EXPECT_EQ(v.outL, std::vector<double>(16, 0.0));

  instance.setCapture(true);
  v.perform(instance, 16);
  EXPECT_EQ(instance.state().captureRing.readable(), 15u * 8);  // the first frame primes
  instance.setCapture(false);
  v.perform(instance, 16);
  instance.setCapture(true);
  v.perform(instance, 16);
  EXPECT_EQ(instance.state().captureRing.readable(), 30u * 8);  // primed again after the pause
}

}  // namespace
}  // namespace omber::external

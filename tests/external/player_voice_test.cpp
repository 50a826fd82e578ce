#include "external/core/player_voice.h"

#include <gtest/gtest.h>

#include <cmath>

#include "voice_helpers.h"

namespace omber::external {
namespace {

using testing::applyAndRelease;
using testing::bufferCommand;
using testing::render;
using testing::sampleAt;
using testing::valueCommand;

constexpr double kPi = 3.14159265358979323846;

TEST(PlayerVoice, SilentUntilInitThenLoopsTheWholeBufferWithDeclickedEnds) {
  PlayerVoice voice;
  const auto before = render(voice, 256);
  for (float v : before.left) EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(voice.playHead(), 0.0);  // nothing moves without a buffer

  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 1000));
  const auto out = render(voice, 1500);
  // Loop of 1000 frames: blend 250, declick 96 frames at both ends.
  for (std::size_t k = 0; k < 1000 - 96; ++k) {
    ASSERT_FLOAT_EQ(out.left[k], sampleAt(k, 0)) << k;
    ASSERT_FLOAT_EQ(out.right[k], sampleAt(k, 1)) << k;
  }
  const double toEnd = 1000.0 - 950.0;
  EXPECT_NEAR(out.left[950], sampleAt(950, 0) * (1 - std::cos(kPi * toEnd / 96)) / 2, 1e-6);
  // After the wrap the start fades in over 96 frames, then plays plainly.
  EXPECT_TRUE(voice.wrapped());
  EXPECT_NEAR(out.left[1010], sampleAt(10, 0) * (1 - std::cos(kPi * 10 / 96)) / 2, 1e-6);
  EXPECT_FLOAT_EQ(out.left[1200], sampleAt(200, 0));
  EXPECT_DOUBLE_EQ(voice.playHead(), 500.0);
}

TEST(PlayerVoice, WithoutLoopingStopsAtTheLastFrameAndASeekResumes) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 100));
  applyAndRelease(voice, valueCommand(CommandKind::Loop, 0.0));
  const auto out = render(voice, 150);
  EXPECT_FLOAT_EQ(out.left[98], sampleAt(98, 0));
  for (std::size_t k = 99; k < 150; ++k) ASSERT_EQ(out.left[k], 0.0f) << k;
  EXPECT_DOUBLE_EQ(voice.playHead(), 99.0);  // stays at the last frame

  applyAndRelease(voice, valueCommand(CommandKind::Seek, 10.0 / 48000.0));
  const auto resumed = render(voice, 4);
  EXPECT_FLOAT_EQ(resumed.left[0], sampleAt(10, 0));
  EXPECT_FLOAT_EQ(resumed.right[3], sampleAt(13, 1));
}

TEST(PlayerVoice, SeekClampsIntoTheBufferAndIgnoresNonsense) {
  PlayerVoice voice;
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 1.0));
  EXPECT_EQ(voice.playHead(), 0.0);  // no buffer: nothing to seek in
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 480));
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 5.0));
  EXPECT_DOUBLE_EQ(voice.playHead(), 479.0);
  applyAndRelease(voice, valueCommand(CommandKind::Seek, -1.0));
  EXPECT_DOUBLE_EQ(voice.playHead(), 0.0);
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 0.005));
  applyAndRelease(voice, valueCommand(CommandKind::Seek, std::nan("")));
  EXPECT_DOUBLE_EQ(voice.playHead(), 0.0);
}

TEST(PlayerVoice, BandsThatAreEmptyOutOfRangeOrInvalidClearTheBand) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 96000));

  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.5, 1.5));
  EXPECT_DOUBLE_EQ(voice.bandStart(), 24000.0);
  EXPECT_DOUBLE_EQ(voice.bandEnd(), 72000.0);
  EXPECT_DOUBLE_EQ(voice.playHead(), 24000.0);  // moved into the band

  applyAndRelease(voice, valueCommand(CommandKind::Band, 1.0, 1.0));  // zero length
  EXPECT_EQ(voice.bandStart(), -1.0);

  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.5, 1.5));
  applyAndRelease(voice, valueCommand(CommandKind::Band, 2.0, 3.0));  // clamped to 96000..96000
  EXPECT_EQ(voice.bandStart(), -1.0);
  EXPECT_EQ(voice.bandEnd(), -1.0);

  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.5, 1.5));
  applyAndRelease(voice, valueCommand(CommandKind::Band, -1.0, 1.5));
  EXPECT_EQ(voice.bandStart(), -1.0);

  applyAndRelease(voice, valueCommand(CommandKind::Band, std::nan(""), 1.0));
  EXPECT_EQ(voice.bandStart(), -1.0);
  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.25, std::nan("")));
  EXPECT_EQ(voice.bandStart(), -1.0);
  EXPECT_DOUBLE_EQ(voice.playHead(), 24000.0);  // clearing leaves the head alone
}

TEST(PlayerVoice, BandEndBlendsEqualPowerWithTheAudioBeforeTheLoopStart) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 48000));
  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.5, 0.75));  // 24000..36000, blend 2400
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 33000.0 / 48000.0));
  const auto out = render(voice, 3100);
  const double length = 12000.0, blend = 2400.0;
  for (std::size_t k = 0; k < 3000; ++k) {
    const double head = 33000.0 + k;
    const double toEnd = 36000.0 - head;
    float expected = sampleAt(static_cast<std::size_t>(head), 0);
    if (toEnd <= blend) {
      const double theta = (1.0 - toEnd / blend) * kPi / 2;
      expected = static_cast<float>(sampleAt(static_cast<std::size_t>(head), 0) * std::cos(theta) +
                                    sampleAt(static_cast<std::size_t>(head - length), 0) * std::sin(theta));
    }
    ASSERT_NEAR(out.left[k], expected, 2e-6) << k;
  }
  // Wrapped to the loop start, which plays without a fade-in.
  EXPECT_FLOAT_EQ(out.left[3000], sampleAt(24000, 0));
  EXPECT_DOUBLE_EQ(voice.playHead(), 24100.0);
}

TEST(PlayerVoice, BandOfFractionalLengthBlendsWithInterpolatedTail) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 48000));
  const double start = 24000.0, end = 36000.3;  // a loop of 12000.3 frames
  applyAndRelease(voice, valueCommand(CommandKind::Band, start / 48000.0, end / 48000.0));
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 33000.0 / 48000.0));
  const auto interpolated = [](double x) {
    const auto i = static_cast<std::size_t>(x);
    return sampleAt(i, 0) + (sampleAt(i + 1, 0) - sampleAt(i, 0)) * static_cast<float>(x - i);
  };
  const auto out = render(voice, 3000);
  for (std::size_t k = 700; k < 3000; k += 37) {
    const double head = 33000.0 + k;
    const double theta = (1.0 - (end - head) / 2400.0) * kPi / 2;
    const double expected = sampleAt(static_cast<std::size_t>(head), 0) * std::cos(theta) +
                            interpolated(head - (end - start)) * std::sin(theta);
    ASSERT_NEAR(out.left[k], expected, 2e-6) << k;
  }
}

TEST(PlayerVoice, SwapCrossfadesLinearlyAndShorterBuffersPullHeadAndBandIn) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 96000, 2, [](std::size_t, int) { return 1.0f; }));
  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.5, 1.5));  // 24000..72000
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 60000.0 / 48000.0));

  // 50,000 frames: the band end is shortened; the head stays inside it.
  EXPECT_EQ(applyAndRelease(voice, bufferCommand(CommandKind::Swap, 50000, 2, [](std::size_t, int) { return 0.0f; })),
            0);
  EXPECT_DOUBLE_EQ(voice.bandEnd(), 50000.0);
  EXPECT_DOUBLE_EQ(voice.playHead(), 24000.0);  // 60000 was past the new band end
  EXPECT_EQ(voice.swapCount(), 1);
  EXPECT_TRUE(voice.crossfading());

  const auto out = render(voice, 1300);
  // New buffer silent, old one 1.0: the output falls linearly from 1 to 0 over 1200 frames.
  EXPECT_FLOAT_EQ(out.left[0], 1.0f);
  EXPECT_NEAR(out.left[600], 0.5f, 1e-6);
  EXPECT_NEAR(out.left[1199], 1.0f / 1200.0f, 1e-6);
  EXPECT_EQ(out.left[1250], 0.0f);
  EXPECT_FALSE(voice.crossfading());

  // Without a band a head beyond the new end restarts at 0; a band wholly
  // beyond it is cleared.
  applyAndRelease(voice, valueCommand(CommandKind::Band, 0.8, 1.0));  // 38400..48000
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 0.9));
  EXPECT_EQ(applyAndRelease(voice, bufferCommand(CommandKind::Swap, 30000)), 1);  // the old fading block
  EXPECT_EQ(voice.bandStart(), -1.0);
  EXPECT_DOUBLE_EQ(voice.playHead(), 0.0);
  EXPECT_EQ(voice.swapCount(), 2);

  // Init restarts everything and gives back both the current and the fading buffer.
  EXPECT_EQ(applyAndRelease(voice, bufferCommand(CommandKind::Replace, 10)), 2);
  EXPECT_EQ(voice.swapCount(), 0);
  EXPECT_FALSE(voice.hasFading());
  EXPECT_FALSE(voice.crossfading());
}

TEST(PlayerVoice, SwapWithoutABufferDoesNotCrossfade) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Swap, 100));
  EXPECT_FALSE(voice.crossfading());
  EXPECT_EQ(voice.swapCount(), 1);
  EXPECT_FLOAT_EQ(render(voice, 1).left[0], sampleAt(0, 0));
}

TEST(PlayerVoice, PlayHeadStepsBy48000Over441AtThatRate) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 48000));
  render(voice, 441, 44100.0);
  EXPECT_NEAR(voice.playHead(), 480.0, 1e-9);
  // A rate of 0 or less counts as 48 kHz.
  render(voice, 20, 0.0);
  EXPECT_NEAR(voice.playHead(), 500.0, 1e-9);
}

TEST(PlayerVoice, PatchesOverwriteInPlaceAndAlwaysGiveTheirBlockBack) {
  PlayerVoice voice;
  const auto patchOf = [](std::uint32_t start, std::uint32_t frames) {
    auto command = bufferCommand(CommandKind::Patch, frames, 2, [](std::size_t, int) { return 9.0f; });
    command.startFrame = start;
    return command;
  };
  EXPECT_EQ(applyAndRelease(voice, patchOf(0, 4)), 1);  // no buffer yet: nothing to patch

  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 100));
  EXPECT_EQ(applyAndRelease(voice, patchOf(10, 3)), 1);
  const float* samples = voice.currentSamples();
  EXPECT_FLOAT_EQ(samples[9 * 2], sampleAt(9, 0));
  EXPECT_EQ(samples[10 * 2], 9.0f);
  EXPECT_EQ(samples[12 * 2 + 1], 9.0f);
  EXPECT_FLOAT_EQ(samples[13 * 2], sampleAt(13, 0));
  EXPECT_DOUBLE_EQ(voice.playHead(), 0.0);

  EXPECT_EQ(applyAndRelease(voice, patchOf(98, 10)), 1);  // cut at the end
  EXPECT_EQ(samples[99 * 2 + 1], 9.0f);
  EXPECT_EQ(applyAndRelease(voice, patchOf(100, 5)), 1);  // at the end: changes nothing
  EXPECT_EQ(applyAndRelease(voice, patchOf(4000000000u, 5)), 1);
  EXPECT_FLOAT_EQ(samples[97 * 2], sampleAt(97, 0));
}

TEST(PlayerVoice, MonoBuffersFeedBothChannels) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 100, 1));
  const auto out = render(voice, 8);
  for (std::size_t k = 0; k < 8; ++k) {
    EXPECT_FLOAT_EQ(out.left[k], sampleAt(k, 0));
    EXPECT_FLOAT_EQ(out.right[k], sampleAt(k, 0));
  }
}

TEST(PlayerVoice, InterpolatesBetweenFramesAndHoldsWhenNotAdvancing) {
  PlayerVoice voice;
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, 100, 2,
                                       [](std::size_t f, int c) { return static_cast<float>(f) + c * 1000.0f; }));
  applyAndRelease(voice, valueCommand(CommandKind::Seek, 10.25 / 48000.0));
  const auto out = render(voice, 2);
  EXPECT_FLOAT_EQ(out.left[0], 10.25f);
  EXPECT_FLOAT_EQ(out.right[1], 1011.25f);

  voice.setAdvancing(false);
  const auto held = render(voice, 3);
  EXPECT_FLOAT_EQ(held.left[2], 12.25f);
  EXPECT_DOUBLE_EQ(voice.playHead(), 12.25);
}

}  // namespace
}  // namespace omber::external

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "external/core/capture_resampler.h"
#include "external/core/capture_ring.h"

namespace omber::external {
namespace {

std::vector<float> readAll(CaptureRing& ring) {
  std::vector<float> out(ring.capacityBytes() / sizeof(float));
  const std::size_t bytes = ring.read(reinterpret_cast<std::uint8_t*>(out.data()), ring.capacityBytes());
  out.resize(bytes / sizeof(float));
  return out;
}

std::vector<float> stereoRamp(std::size_t frames, float from = 0.0f) {
  std::vector<float> samples(frames * 2);
  for (std::size_t f = 0; f < frames; ++f) {
    samples[f * 2] = from + static_cast<float>(f);
    samples[f * 2 + 1] = -(from + static_cast<float>(f));
  }
  return samples;
}

TEST(CaptureRing, TakesWholeFramesOnlyAndDropsTheNewestWhenFull) {
  CaptureRing ring(100);  // 99 writable bytes: 12 whole frames, never 12.375
  const auto samples = stereoRamp(20);
  EXPECT_EQ(ring.writeFrames(samples.data(), 20), 12u);
  EXPECT_EQ(ring.readable(), 96u);
  EXPECT_EQ(ring.writeFrames(samples.data(), 1), 0u);

  // A read asking for a partial frame gets whole frames only.
  std::vector<std::uint8_t> bytes(20);
  EXPECT_EQ(ring.read(bytes.data(), 20), 16u);
  float first[4];
  std::memcpy(first, bytes.data(), sizeof first);
  EXPECT_EQ(first[0], 0.0f);
  EXPECT_EQ(first[3], -1.0f);

  // Across the wrap the frames stay in order and aligned.
  const auto more = stereoRamp(2, 100.0f);
  EXPECT_EQ(ring.writeFrames(more.data(), 2), 2u);
  const auto rest = readAll(ring);
  ASSERT_EQ(rest.size(), 24u);
  EXPECT_EQ(rest[0], 2.0f);
  EXPECT_EQ(rest[19], -11.0f);
  EXPECT_EQ(rest[20], 100.0f);
  EXPECT_EQ(rest[23], -101.0f);
}

TEST(CaptureResampler, At48kHzCapturesTheInputAfterTheFirstFrame) {
  CaptureRing ring;
  CaptureResampler resampler;
  std::vector<double> left(1000), right(1000);
  for (std::size_t k = 0; k < left.size(); ++k) {
    left[k] = 0.001 * k;
    right[k] = -0.001 * k;
  }
  resampler.process(left.data(), right.data(), 600, 48000.0, ring);  // crosses a 512-frame block
  resampler.process(left.data() + 600, right.data() + 600, 400, 48000.0, ring);
  const auto captured = readAll(ring);
  ASSERT_EQ(captured.size(), 999u * 2);
  for (std::size_t j = 0; j < 999; ++j) {
    ASSERT_FLOAT_EQ(captured[j * 2], static_cast<float>(left[j + 1])) << j;
    ASSERT_FLOAT_EQ(captured[j * 2 + 1], static_cast<float>(right[j + 1])) << j;
  }
}

TEST(CaptureResampler, At441kHzDeliversEvenlySpaced48kHzFrames) {
  CaptureRing ring;
  CaptureResampler resampler;
  // A ramp in seconds: interpolating it yields each output frame's own time.
  const std::size_t inputFrames = 44100;
  std::vector<double> seconds(inputFrames);
  for (std::size_t k = 0; k < inputFrames; ++k) seconds[k] = static_cast<double>(k) / 44100.0;
  for (std::size_t at = 0; at < inputFrames; at += 64) {
    const std::size_t n = std::min<std::size_t>(64, inputFrames - at);
    resampler.process(seconds.data() + at, seconds.data() + at, n, 44100.0, ring);
  }
  const auto captured = readAll(ring);
  const std::size_t frames = captured.size() / 2;
  EXPECT_NEAR(static_cast<double>(frames), 44099.0 * 48000.0 / 44100.0, 1.0);  // about 1.088 per input frame
  for (std::size_t j = 1; j < frames; ++j) {
    ASSERT_NEAR(captured[j * 2] - captured[(j - 1) * 2], 1.0 / 48000.0, 2e-6) << j;
  }
}

}  // namespace
}  // namespace omber::external

// The voice's output over a loop-end blend, a swap crossfade and both in turn,
// against a frame-by-frame model of the formulas in double precision: reads
// interpolated linearly, the blend's gains cos and sin of
// theta = (1 - toEnd / w) * pi / 2, the crossfade's gain progress / 1200.
// The voice computes in float and renders runs of frames at once; every
// sample must stay within kTolerance of the model, for any vector size and
// at 48 and 44.1 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "external/core/player_voice.h"
#include "voice_helpers.h"

namespace omber::external {
namespace {

using testing::applyAndRelease;
using testing::bufferCommand;
using testing::valueCommand;

constexpr double kPi = 3.14159265358979323846;
// Samples stay within +-0.75; float rounding of the reads and gains is a few
// 1e-8.
constexpr double kTolerance = 1e-6;
constexpr std::uint32_t kFrames = 96000;

using Sample = float (*)(std::size_t, int);
float firstSample(std::size_t f, int c) { return static_cast<float>(0.5 * std::sin(0.003 * f + c) + 0.25 * c); }
float secondSample(std::size_t f, int c) { return static_cast<float>(0.6 * std::cos(0.0071 * f - c)); }

// Frame-by-frame model of a looping band with audio before its start.
struct Model {
  int channels;
  double step, loopStart, loopEnd, blend;
  double head;
  Sample now = firstSample, before = nullptr;
  double progress = 0.0;  // of the crossfade from `before`, while `before` is set

  double read(Sample sample, double x, int c) const {
    const auto i = static_cast<std::size_t>(x);
    const double fraction = x - static_cast<double>(i);
    const int ch = channels == 1 ? 0 : c;
    const double a = sample(i, ch), b = sample(i + 1, ch);
    return a + (b - a) * fraction;
  }

  void frame(double& left, double& right) {
    double out[2];
    const double toEnd = loopEnd - head;
    for (int c = 0; c < 2; ++c) {
      const double current = read(now, head, c);
      if (before) {
        const double g = progress / PlayerVoice::kSwapFadeFrames;
        const double old = read(before, head, c);
        out[c] = old + (current - old) * g;
      } else if (toEnd > 0.0 && toEnd <= blend) {
        const double theta = (1.0 - toEnd / blend) * kPi / 2;
        out[c] = current * std::cos(theta) + read(now, head - (loopEnd - loopStart), c) * std::sin(theta);
      } else {
        out[c] = current;
      }
    }
    left = out[0];
    right = out[1];
    if (before) {
      progress += step;
      if (progress >= PlayerVoice::kSwapFadeFrames) before = nullptr;
    }
    head += step;
    if (head >= loopEnd) head = head - loopEnd + loopStart;
  }
};

struct Case {
  const char* name;
  int channels;
  double rate;
  double bandEnd;      // frames; the band starts at 24000
  double seek;         // frames
  double swapAfter;    // frames rendered before the swap (negative: none)
  std::size_t vector;  // frames per render call
  std::size_t total;   // frames rendered
};

// Renders a case and returns the largest difference from the model.
double largestDifference(const Case& c) {
  PlayerVoice voice;
  const auto channels = static_cast<std::uint16_t>(c.channels);
  applyAndRelease(voice, bufferCommand(CommandKind::Replace, kFrames, channels, firstSample));
  applyAndRelease(voice, valueCommand(CommandKind::Band, 24000.0 / 48000.0, c.bandEnd / 48000.0));
  applyAndRelease(voice, valueCommand(CommandKind::Seek, c.seek / 48000.0));
  const double blend = std::min(std::floor((c.bandEnd - 24000.0) / 4), PlayerVoice::kLoopBlendFrames);
  Model model{c.channels, 48000.0 / c.rate, 24000.0, c.bandEnd, blend, voice.playHead()};

  std::vector<float> left(c.vector), right(c.vector);
  std::size_t done = 0;
  bool swapped = c.swapAfter < 0;
  double worst = 0.0;
  while (done < c.total) {
    if (!swapped && static_cast<double>(done) >= c.swapAfter) {
      applyAndRelease(voice, bufferCommand(CommandKind::Swap, kFrames, channels, secondSample));
      model.before = model.now;
      model.now = secondSample;
      model.progress = 0.0;
      swapped = true;
    }
    const std::size_t n = std::min(c.vector, c.total - done);
    voice.render(left.data(), right.data(), n, c.rate);
    for (std::size_t k = 0; k < n; ++k) {
      double l, r;
      model.frame(l, r);
      worst = std::max({worst, std::fabs(left[k] - l), std::fabs(right[k] - r)});
    }
    done += n;
  }
  EXPECT_NEAR(voice.playHead(), model.head, 1e-6) << c.name;
  return worst;
}

// Loop 24000..72000 (blend 2400 frames), or of a fractional length; the head
// starts 3000 frames before the loop end, runs through the blend, wraps and
// plays on.
TEST(PlayerVoiceOutput, LoopEndBlendStaysWithinToleranceOfTheFormula) {
  const Case cases[] = {
      {"stereo 48k, 64-frame vectors", 2, 48000.0, 72000.0, 69000.0, -1, 64, 4000},
      {"stereo 48k, 37-frame vectors", 2, 48000.0, 72000.0, 69000.25, -1, 37, 4000},
      {"stereo 48k, one 4000-frame vector", 2, 48000.0, 72000.0, 69000.0, -1, 4000, 4000},
      {"stereo 44.1k, 64-frame vectors", 2, 44100.0, 72000.0, 69000.0, -1, 64, 4000},
      {"stereo 48k, loop of 48000.5 frames", 2, 48000.0, 72000.5, 69000.0, -1, 64, 4000},
      {"mono 48k, 64-frame vectors", 1, 48000.0, 72000.0, 69000.0, -1, 64, 4000},
      {"stereo 48k, short loop (blend 250)", 2, 48000.0, 25000.0, 24100.0, -1, 64, 3000},
      // Past 65536 a double holds the head's fraction less finely.
      {"stereo 48k, head crossing 2^16 at a fine fraction", 2, 48000.0, 67000.0, 64000.123456789, -1, 64, 4000},
  };
  for (const Case& c : cases) EXPECT_LE(largestDifference(c), kTolerance) << c.name;
}

// A swap 1000 frames before the loop end: its crossfade runs into the blend
// region (the crossfade alone is heard until it ends), then the blend, the
// wrap; and a swap far from the loop end.
TEST(PlayerVoiceOutput, CrossfadeAloneAndIntoTheBlendStayWithinToleranceOfTheFormula) {
  const Case cases[] = {
      {"crossfade alone, 48k", 2, 48000.0, 72000.0, 40000.0, 100, 64, 2000},
      {"crossfade alone, 44.1k, 50-frame vectors", 2, 44100.0, 72000.0, 40000.0, 130, 50, 2000},
      {"crossfade into the blend, 48k", 2, 48000.0, 72000.0, 69000.0, 2000, 64, 4000},
      {"crossfade into the blend, 44.1k", 2, 44100.0, 72000.0, 69000.0, 2000, 64, 4000},
      {"crossfade into the blend, one vector", 2, 48000.0, 72000.0, 69000.0, 2000, 4000, 4000},
      {"crossfade into the blend, mono", 1, 48000.0, 72000.0, 69000.0, 2000, 64, 4000},
  };
  for (const Case& c : cases) EXPECT_LE(largestDifference(c), kTolerance) << c.name;
}

}  // namespace
}  // namespace omber::external

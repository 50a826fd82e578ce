#include "external/core/player_voice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace omber::external {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kPi = 3.14159265358979323846;

// Linear-interpolated stereo read from one interleaved buffer. A mono buffer
// feeds both channels; reads outside the buffer are clamped to its frames.
struct StereoReader {
  const float* samples;
  std::uint64_t frames;
  std::size_t stride;  // channels
  std::size_t right;   // offset of the channel feeding the right output

  StereoReader(const float* s, std::uint64_t f, std::uint16_t channels)
      : samples(f ? s : nullptr), frames(f), stride(channels ? channels : 1), right(channels > 1 ? 1 : 0) {}

  void read(double x, float& left, float& rightOut) const noexcept {
    if (!samples) {
      left = rightOut = 0.0f;
      return;
    }
    const double last = static_cast<double>(frames - 1);
    if (!(x > 0.0)) x = 0.0;  // also catches NaN
    if (x > last) x = last;
    const auto i = static_cast<std::uint64_t>(x);
    const auto fraction = static_cast<float>(x - static_cast<double>(i));
    const std::uint64_t j = i + 1 < frames ? i + 1 : i;
    const float* a = samples + i * stride;
    const float* b = samples + j * stride;
    left = a[0] + (b[0] - a[0]) * fraction;
    rightOut = a[right] + (b[right] - a[right]) * fraction;
  }
};

float raisedCosine(double position, double length) noexcept {
  return static_cast<float>((1.0 - std::cos(kPi * position / length)) * 0.5);
}

}  // namespace

PlayerVoice::~PlayerVoice() {
  freeSamples(current_.samples);
  freeSamples(fading_.samples);
}

PlayerVoice::Released PlayerVoice::apply(const PlayerCommand& command) noexcept {
  Released released;
  switch (command.kind) {
    case CommandKind::Replace:
      // The fading buffer goes back with the old current one: freeing it here
      // would put a free on the audio thread.
      released.add(current_.samples);
      released.add(fading_.samples);
      fading_ = Buffer{};
      crossfading_ = false;
      current_ = Buffer{command.block, command.frames, command.channels};
      clearBand();
      playHead_ = 0.0;
      swapCount_ = 0;
      wrapped_ = false;
      break;

    case CommandKind::Patch: {
      if (current_.samples && command.block) {
        const std::uint64_t begin = std::uint64_t{command.startFrame} * current_.channels;
        const std::uint64_t total = std::uint64_t{current_.channels} * current_.frames;
        if (begin < total) {
          const std::uint64_t count = std::min<std::uint64_t>(total - begin, 2 * std::uint64_t{command.frames});
          std::memcpy(current_.samples + begin, command.block, count * sizeof(float));
        }
      }
      released.add(command.block);
      break;
    }

    case CommandKind::Swap: {
      released.add(fading_.samples);
      const bool hadCurrent = current_.samples != nullptr;
      fading_ = current_;
      current_ = Buffer{command.block, command.frames, command.channels};
      ++swapCount_;
      crossfading_ = hadCurrent;
      crossfadeProgress_ = 0.0;
      fixBandAfterSwap();
      break;
    }

    case CommandKind::Band:
      applyBand(command.value1, command.value2);
      break;

    case CommandKind::Seek:
      if (current_.frames > 0) {
        double target = command.value1 * kBufferRate;
        const double last = static_cast<double>(current_.frames - 1);
        if (!(target > 0.0)) target = 0.0;  // negative or NaN
        if (target > last) target = last;
        playHead_ = target;
        wrapped_ = false;
      }
      break;

    case CommandKind::Loop:
      loopWhole_ = command.value1 != 0.0;
      break;
  }
  return released;
}

void PlayerVoice::applyBand(double startSeconds, double endSeconds) noexcept {
  // Negative (or not-a-number) seconds clear the band.
  if (!(startSeconds >= 0.0) || !(endSeconds >= 0.0)) {
    clearBand();
    return;
  }
  const double start = std::max(startSeconds * kBufferRate, 0.0);
  const double end = std::min(endSeconds * kBufferRate, static_cast<double>(current_.frames));
  if (!(end - start >= 1.0)) {
    clearBand();
    return;
  }
  bandStart_ = start;
  bandEnd_ = end;
  if (start > playHead_ || playHead_ >= end) {
    playHead_ = start;
    wrapped_ = false;
  }
}

void PlayerVoice::fixBandAfterSwap() noexcept {
  const auto frames = static_cast<double>(current_.frames);
  if (bandEnd_ > frames) bandEnd_ = frames;
  if (bandStart_ >= 0.0) {
    if (bandEnd_ <= bandStart_) {
      clearBand();
    } else if (playHead_ < bandStart_ || playHead_ >= bandEnd_) {
      playHead_ = bandStart_;
      return;
    }
  }
  if (playHead_ >= frames) playHead_ = 0.0;
}

void PlayerVoice::render(float* left, float* right, std::size_t frames, double sampleRate) noexcept {
  if (!current_.samples || current_.frames == 0) {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    return;
  }
  const double step = sampleRate > 0.0 ? kBufferRate / sampleRate : 1.0;
  const auto m = static_cast<double>(current_.frames);

  bool looping;
  double loopStart, loopEnd;
  if (bandStart_ >= 0.0 && bandStart_ < bandEnd_) {
    looping = true;
    loopStart = bandStart_;
    loopEnd = bandEnd_;
  } else {
    looping = loopWhole_;
    loopStart = 0.0;
    loopEnd = m;
  }
  const double length = loopEnd - loopStart;
  const double blend = std::min(std::floor(length * 0.25), kLoopBlendFrames);
  const double declick = std::min(kDeclickFrames, blend);
  // With audio before the loop start the loop end blends into it; otherwise
  // both ends of the loop are declicked instead.
  const bool tailBlend = looping && blend > 0.0 && loopStart >= blend;
  const bool declickEnds = looping && blend > 0.0 && loopStart < blend;
  const bool advancing = advancing_.load(std::memory_order_relaxed);

  // The blend angle grows by the same amount every advancing frame, so after
  // one exact cos/sin the pair is rotated instead of recomputed.
  double rotateCos = 1.0, rotateSin = 0.0;
  if (tailBlend && advancing) {
    const double delta = step / blend * kHalfPi;
    rotateCos = std::cos(delta);
    rotateSin = std::sin(delta);
  }
  bool haveBlend = false;
  double blendA = 1.0, blendB = 0.0;

  const StereoReader current(current_.samples, current_.frames, current_.channels);
  const StereoReader fading(fading_.samples, fading_.frames, fading_.channels);
  const auto fadingFrames = static_cast<double>(fading_.frames);

  for (std::size_t k = 0; k < frames; ++k) {
    const double head = playHead_;
    if (!looping && head >= m - 1.0) {
      left[k] = right[k] = 0.0f;
      continue;
    }

    float gain = 1.0f;
    bool tail = false;
    if (tailBlend) {
      const double toEnd = loopEnd - head;
      if (toEnd > 0.0 && toEnd <= blend) {
        tail = true;
        if (!haveBlend) {
          const double theta = (1.0 - toEnd / blend) * kHalfPi;
          blendA = std::cos(theta);
          blendB = std::sin(theta);
          haveBlend = true;
        }
      }
    } else if (declickEnds) {
      const double sinceStart = head - loopStart;
      const double toEnd = loopEnd - head;
      if (wrapped_ && sinceStart >= 0.0 && sinceStart < declick) {
        gain = raisedCosine(sinceStart, declick);
      } else if (toEnd > 0.0 && toEnd < declick) {
        gain = raisedCosine(toEnd, declick);
      }
    }

    float l, r;
    if (crossfading_ && fading_.samples) {
      const auto g = static_cast<float>(std::min(crossfadeProgress_ / kSwapFadeFrames, 1.0));
      double q = head;
      if (fadingFrames <= 0.0) {
        q = 0.0;
      } else if (q >= fadingFrames) {
        q = std::fmod(q, fadingFrames);
      }
      float cl, cr, fl, fr;
      current.read(head, cl, cr);
      fading.read(q, fl, fr);
      l = (cl * g + fl * (1.0f - g)) * gain;
      r = (cr * g + fr * (1.0f - g)) * gain;
      crossfadeProgress_ += step;
      if (crossfadeProgress_ >= kSwapFadeFrames) crossfading_ = false;
    } else if (tail) {
      float cl, cr, tl, tr;
      current.read(head, cl, cr);
      current.read(head - length, tl, tr);
      const auto a = static_cast<float>(blendA);
      const auto b = static_cast<float>(blendB);
      l = cl * a + tl * b;
      r = cr * a + tr * b;
    } else {
      current.read(head, l, r);
      l *= gain;
      r *= gain;
    }
    left[k] = l;
    right[k] = r;

    if (advancing) {
      double next = head + step;
      if (next >= loopEnd) {
        if (looping) {
          wrapped_ = true;
          next = next - loopEnd + loopStart;
        } else {
          next = m;
        }
        haveBlend = false;
      } else if (haveBlend) {
        const double a = blendA * rotateCos - blendB * rotateSin;
        blendB = blendB * rotateCos + blendA * rotateSin;
        blendA = a;
      }
      playHead_ = next;
    }
  }
}

}  // namespace omber::external

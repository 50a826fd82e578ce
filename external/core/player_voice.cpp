#include "external/core/player_voice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace omber::external {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kPi = 3.14159265358979323846;
// The swap crossfade's gain per frame of progress (g = progress / 1200).
constexpr double kSwapFadeStep = 1.0 / PlayerVoice::kSwapFadeFrames;

// Linear-interpolated stereo read from one interleaved buffer. A mono buffer
// feeds both channels; reads outside the buffer are clamped to its frames.
struct StereoReader {
  const float* samples;
  std::uint64_t frames;
  double last;         // the last frame, where reads are clamped
  std::size_t stride;  // channels
  std::size_t right;   // offset of the channel feeding the right output

  StereoReader(const float* s, std::uint64_t f, std::uint16_t channels)
      : samples(f ? s : nullptr),
        frames(f),
        last(f ? static_cast<double>(f - 1) : 0.0),
        stride(channels ? channels : 1),
        right(channels > 1 ? 1 : 0) {}

  void read(double x, float& left, float& rightOut) const noexcept {
    if (!samples) {
      left = rightOut = 0.0f;
      return;
    }
    if (!(x > 0.0)) x = 0.0;  // also catches NaN
    if (x > last) x = last;
    // x is in [0, 2^53): the signed conversion is exact and a single instruction.
    const auto whole = static_cast<std::int64_t>(x);
    const auto fraction = static_cast<float>(x - static_cast<double>(whole));
    const auto i = static_cast<std::uint64_t>(whole);
    const std::uint64_t j = i + 1 < frames ? i + 1 : i;
    const float* a = samples + i * stride;
    const float* b = samples + j * stride;
    left = a[0] + (b[0] - a[0]) * fraction;
    rightOut = a[right] + (b[right] - a[right]) * fraction;
  }

  // The same read for 0 <= whole <= frames - 2, where nothing needs
  // clamping; whole and fraction come from split().
  void readInside(std::int64_t whole, float fraction, float& left, float& rightOut) const noexcept {
    const float* a = samples + static_cast<std::uint64_t>(whole) * stride;
    const float* b = a + stride;
    left = a[0] + (b[0] - a[0]) * fraction;
    rightOut = a[right] + (b[right] - a[right]) * fraction;
  }
};

// The frame index and interpolation fraction of a position x >= 0, exactly
// as StereoReader::read computes them.
inline std::int64_t split(double x, float& fraction) noexcept {
  const auto whole = static_cast<std::int64_t>(x);
  fraction = static_cast<float>(x - static_cast<double>(whole));
  return whole;
}

// cos x for 0 <= x <= pi/2 from its Taylor series up to x^12 (error below
// 1e-8 there), in Estrin's order so the steps of one frame overlap: blended
// frames get their gains without a library call.
template <typename Real>
inline Real cosineToQuarterTurn(Real x) noexcept {
  const Real x2 = x * x;
  const Real x4 = x2 * x2;
  const Real x8 = x4 * x4;
  constexpr Real c2 = Real(-1) / 2, c4 = Real(1) / 24, c6 = Real(-1) / 720, c8 = Real(1) / 40320,
                 c10 = Real(-1) / 3628800, c12 = Real(1) / 479001600;
  return (1 + c2 * x2) + x4 * (c4 + c6 * x2) + x8 * ((c8 + c10 * x2) + c12 * x4);
}

// The equal-power pair cos theta, sin theta for 0 <= theta <= pi/2. Without
// branches or calls, so a loop of them vectorises.
inline void equalPower(float theta, float& a, float& b) noexcept {
  a = cosineToQuarterTurn<float>(theta);
  b = cosineToQuarterTurn<float>(static_cast<float>(kHalfPi) - theta);
}

// Frames handled per pass of a run: their positions, gains and reads sit in
// fixed arrays on the stack (no allocation on the audio thread).
constexpr std::size_t kPass = 64;

// The read positions of a pass: each frame's index and fraction.
struct Pass {
  std::int64_t whole[kPass];
  float fraction[kPass];
};

// Interpolated samples of a pass, one array per output channel.
struct Frames {
  float left[kPass];
  float right[kPass];
};

// True when adding 1.0 to x n times over is exact at every step, so the
// k-th sum is x + k: exactly when x + n is itself a double (below 2^52 every
// x + k before it then is too). Positions and crossfade progress then follow
// from k without the chain of additions.
inline bool exactUnitSteps(double x, std::size_t n) noexcept {
  const auto count = static_cast<double>(n);
  const double end = x + count;
  return x >= 0.0 && end < 4503599627370496.0 && end - count == x;
}

// Reads the frames of a pass one by one.
inline void readPass(const StereoReader& from, const Pass& at, std::size_t n, Frames& out) noexcept {
  for (std::size_t k = 0; k < n; ++k) from.readInside(at.whole[k], at.fraction[k], out.left[k], out.right[k]);
}

// Reads n consecutive frames of a stereo buffer from frame `whole` at one
// fraction, in one walk along the buffer that vectorises; the values are
// readInside's.
inline void readRun(const float* samples, std::int64_t whole, float fraction, std::size_t n, Frames& out) noexcept {
  const float* const a = samples + static_cast<std::uint64_t>(whole) * 2;
  for (std::size_t k = 0; k < n; ++k) {
    out.left[k] = a[2 * k] + (a[2 * k + 2] - a[2 * k]) * fraction;
    out.right[k] = a[2 * k + 1] + (a[2 * k + 3] - a[2 * k + 1]) * fraction;
  }
}

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

    case CommandKind::Band: applyBand(command.value1, command.value2); break;

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

    case CommandKind::Loop: loopWhole_ = command.value1 != 0.0; break;
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

// Everything a render call derives once from the voice before its frames.
struct PlayerVoice::RenderPlan {
  double step;
  double frames;  // m
  bool looping;
  double loopStart, loopEnd, length;
  double blend, declick;
  bool tailBlend, declickEnds;
  bool advancing;
  double blendAngle;  // pi/2 over the blend length: the angle per frame into the blend
};

void PlayerVoice::render(float* left, float* right, std::size_t frames, double sampleRate) noexcept {
  if (!current_.samples || current_.frames == 0) {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    return;
  }
  RenderPlan plan;
  plan.step = sampleRate > 0.0 ? kBufferRate / sampleRate : 1.0;
  plan.frames = static_cast<double>(current_.frames);
  if (bandStart_ >= 0.0 && bandStart_ < bandEnd_) {
    plan.looping = true;
    plan.loopStart = bandStart_;
    plan.loopEnd = bandEnd_;
  } else {
    plan.looping = loopWhole_;
    plan.loopStart = 0.0;
    plan.loopEnd = plan.frames;
  }
  plan.length = plan.loopEnd - plan.loopStart;
  plan.blend = std::min(std::floor(plan.length * 0.25), kLoopBlendFrames);
  plan.declick = std::min(kDeclickFrames, plan.blend);
  // With audio before the loop start the loop end blends into it; otherwise
  // both ends of the loop are declicked instead.
  plan.tailBlend = plan.looping && plan.blend > 0.0 && plan.loopStart >= plan.blend;
  plan.declickEnds = plan.looping && plan.blend > 0.0 && plan.loopStart < plan.blend;
  plan.advancing = advancing_.load(std::memory_order_relaxed);
  plan.blendAngle = plan.blend > 0.0 ? kHalfPi / plan.blend : 0.0;

  // Most frames are plain, blended or crossfaded runs away from every
  // boundary: they go through the lean loops; every other frame (declicks,
  // wraps, reads at a buffer's edge) through the general one.
  const bool stereo = current_.channels == 2 && (!fading_.samples || fading_.channels == 2);
  std::size_t done = 0;
  while (done < frames) {
    std::size_t run;
    const bool fade = crossfading_ && fading_.samples;
    if (stereo) {
      run = fade ? renderLean<true, true>(left + done, right + done, frames - done, plan)
                 : renderLean<false, true>(left + done, right + done, frames - done, plan);
    } else {
      run = fade ? renderLean<true, false>(left + done, right + done, frames - done, plan)
                 : renderLean<false, false>(left + done, right + done, frames - done, plan);
    }
    if (run > 0) {
      done += run;
      continue;
    }
    renderFrame(left[done], right[done], plan);
    ++done;
  }
}

template <bool Crossfade, bool Stereo>
std::size_t PlayerVoice::renderLean(float* left, float* right, std::size_t frames, const RenderPlan& plan) noexcept {
  const double step = plan.step, loopStart = plan.loopStart, loopEnd = plan.loopEnd;
  const double head0 = playHead_;
  if (!(head0 >= 0.0)) return 0;

  // The same tests as renderFrame, for the first frame.
  bool tail = false;
  if (!plan.looping && head0 >= plan.frames - 1.0) return 0;
  if (plan.tailBlend && !Crossfade) {
    const double toEnd = loopEnd - head0;
    tail = toEnd > 0.0 && toEnd <= plan.blend;
    if (tail && !(head0 - plan.length >= 0.0)) return 0;
  } else if (plan.declickEnds) {
    const double sinceStart = head0 - loopStart;
    const double toEnd = loopEnd - head0;
    if (wrapped_ && sinceStart < plan.declick) return 0;  // in the fade-in, or before the loop
    if (toEnd > 0.0 && toEnd < plan.declick) return 0;
  }

  // How many frames keep to this one case: the head keeps clear of the loop
  // end (no wrap), of the blend or declick before it, of the last frame when
  // not looping, and every read stays at least one frame inside its buffer
  // (no clamping); a crossfade stays under way. One frame of margin absorbs
  // the rounding of the repeated head + step.
  double limit = std::min(loopEnd - step, static_cast<double>(current_.frames) - 2.0);
  if (!plan.looping) limit = std::min(limit, plan.frames - 1.0);
  if (plan.tailBlend && !Crossfade && !tail) limit = std::min(limit, loopEnd - plan.blend);
  if (plan.declickEnds) limit = std::min(limit, loopEnd - plan.declick);
  if (Crossfade) limit = std::min(limit, static_cast<double>(fading_.frames) - 2.0);
  if (!(head0 <= limit)) return 0;
  std::size_t count = frames;
  if (plan.advancing) {
    const double room = std::floor((limit - head0) / step) - 1.0;
    if (!(room >= 1.0)) return 0;
    if (room < static_cast<double>(count)) count = static_cast<std::size_t>(room);
  }
  if (Crossfade) {
    const double room = std::floor((kSwapFadeFrames - crossfadeProgress_) / step) - 1.0;
    if (!(room >= 1.0)) return 0;
    if (room < static_cast<double>(count)) count = static_cast<std::size_t>(room);
  }

  const StereoReader current(current_.samples, current_.frames, Stereo ? 2 : current_.channels);
  const double advance = plan.advancing ? step : 0.0;
  double head = head0;
  float fraction = 0.0f;
  // Crossfade and blend go pass by pass: first each frame's read position
  // and gain, then the reads, then the mix over whole arrays, which the
  // compiler vectorises. At a step of one frame whose sums are exact (see
  // exactUnitSteps) the positions follow from the first, and a stereo
  // buffer is read in one walk; otherwise each head is the one before plus
  // the step, as in renderFrame.
  const bool unitSteps = Stereo && plan.advancing && step == 1.0;
  Pass at;
  Frames now;
  if (Crossfade) {
    const StereoReader fading(fading_.samples, fading_.frames, Stereo ? 2 : fading_.channels);
    double progress = crossfadeProgress_;
    Frames before;
    float gain[kPass];
    for (std::size_t done = 0; done < count; done += kPass) {
      const std::size_t n = std::min(kPass, count - done);
      if (unitSteps && exactUnitSteps(head, n) && exactUnitSteps(progress, n)) {
        // The gain stays below 1 throughout the run. The index goes through
        // int: an int converts to double in vector registers, a size_t not.
        for (std::size_t k = 0; k < n; ++k) {
          gain[k] = static_cast<float>((progress + static_cast<double>(static_cast<int>(k))) * kSwapFadeStep);
        }
        const std::int64_t whole = split(head, fraction);
        readRun(current.samples, whole, fraction, n, now);
        readRun(fading.samples, whole, fraction, n, before);
        head += static_cast<double>(n);
        progress += static_cast<double>(n);
      } else {
        for (std::size_t k = 0; k < n; ++k) {
          at.whole[k] = split(head, at.fraction[k]);
          gain[k] = static_cast<float>(progress * kSwapFadeStep);
          progress += step;
          head += advance;
        }
        readPass(current, at, n, now);
        readPass(fading, at, n, before);
      }
      float* const l = left + done;
      float* const r = right + done;
      for (std::size_t k = 0; k < n; ++k) {
        l[k] = before.left[k] + (now.left[k] - before.left[k]) * gain[k];
        r[k] = before.right[k] + (now.right[k] - before.right[k]) * gain[k];
      }
    }
    crossfadeProgress_ = progress;
  } else if (tail) {
    // A loop of whole frames reads the tail at the same fraction.
    const bool wholeLength = plan.length == std::floor(plan.length);
    const auto lengthFrames = static_cast<std::int64_t>(plan.length);
    Pass behind;
    Frames tailFrames;
    float gainNow[kPass], gainTail[kPass];
    for (std::size_t done = 0; done < count; done += kPass) {
      const std::size_t n = std::min(kPass, count - done);
      if (unitSteps && wholeLength && exactUnitSteps(head, n)) {
        for (std::size_t k = 0; k < n; ++k) {
          const double position = head + static_cast<double>(static_cast<int>(k));
          gainNow[k] = static_cast<float>((plan.blend - (loopEnd - position)) * plan.blendAngle);
        }
        const std::int64_t whole = split(head, fraction);
        readRun(current.samples, whole, fraction, n, now);
        readRun(current.samples, whole - lengthFrames, fraction, n, tailFrames);
        head += static_cast<double>(n);
      } else {
        for (std::size_t k = 0; k < n; ++k) {
          at.whole[k] = split(head, at.fraction[k]);
          if (wholeLength) {
            behind.whole[k] = at.whole[k] - lengthFrames;
            behind.fraction[k] = at.fraction[k];
          } else {
            behind.whole[k] = split(head - plan.length, behind.fraction[k]);
          }
          gainNow[k] = static_cast<float>((plan.blend - (loopEnd - head)) * plan.blendAngle);
          head += advance;
        }
        readPass(current, at, n, now);
        readPass(current, behind, n, tailFrames);
      }
      // The angles become the equal-power gains.
      for (std::size_t k = 0; k < n; ++k) {
        const float theta = gainNow[k];
        equalPower(theta, gainNow[k], gainTail[k]);
      }
      float* const l = left + done;
      float* const r = right + done;
      for (std::size_t k = 0; k < n; ++k) {
        l[k] = now.left[k] * gainNow[k] + tailFrames.left[k] * gainTail[k];
        r[k] = now.right[k] * gainNow[k] + tailFrames.right[k] * gainTail[k];
      }
    }
  } else {
    for (std::size_t k = 0; k < count; ++k) {
      float l, r;
      const std::int64_t whole = split(head, fraction);
      current.readInside(whole, fraction, l, r);
      left[k] = l;
      right[k] = r;
      head += advance;
    }
  }
  playHead_ = head;
  return count;
}

void PlayerVoice::renderFrame(float& left, float& right, const RenderPlan& plan) noexcept {
  const double head = playHead_;
  if (!plan.looping && head >= plan.frames - 1.0) {
    left = right = 0.0f;  // stopped at the end: the play head stays
    return;
  }

  float gain = 1.0f;
  bool tail = false;
  if (plan.tailBlend) {
    const double toEnd = plan.loopEnd - head;
    tail = toEnd > 0.0 && toEnd <= plan.blend;
  } else if (plan.declickEnds) {
    const double sinceStart = head - plan.loopStart;
    const double toEnd = plan.loopEnd - head;
    if (wrapped_ && sinceStart >= 0.0 && sinceStart < plan.declick) {
      gain = raisedCosine(sinceStart, plan.declick);
    } else if (toEnd > 0.0 && toEnd < plan.declick) {
      gain = raisedCosine(toEnd, plan.declick);
    }
  }

  const StereoReader current(current_.samples, current_.frames, current_.channels);
  float l, r;
  if (crossfading_ && fading_.samples) {
    const StereoReader fading(fading_.samples, fading_.frames, fading_.channels);
    const auto fadingFrames = static_cast<double>(fading_.frames);
    const auto g = static_cast<float>(std::min(crossfadeProgress_ * kSwapFadeStep, 1.0));
    double q = head;
    if (fadingFrames <= 0.0) {
      q = 0.0;
    } else if (q >= fadingFrames) {
      q = std::fmod(q, fadingFrames);
    }
    float fl, fr;
    current.read(head, l, r);
    fading.read(q, fl, fr);
    l = (fl + (l - fl) * g) * gain;
    r = (fr + (r - fr) * g) * gain;
    crossfadeProgress_ += plan.step;
    if (crossfadeProgress_ >= kSwapFadeFrames) crossfading_ = false;
  } else if (tail) {
    float tl, tr, a, b;
    current.read(head, l, r);
    current.read(head - plan.length, tl, tr);
    equalPower(static_cast<float>((plan.blend - (plan.loopEnd - head)) * plan.blendAngle), a, b);
    l = l * a + tl * b;
    r = r * a + tr * b;
  } else {
    current.read(head, l, r);
    l *= gain;
    r *= gain;
  }
  left = l;
  right = r;

  if (plan.advancing) {
    double next = head + plan.step;
    if (next >= plan.loopEnd) {
      if (plan.looping) {
        wrapped_ = true;
        next = next - plan.loopEnd + plan.loopStart;
      } else {
        next = plan.frames;
      }
    }
    playHead_ = next;
  }
}

}  // namespace omber::external

#include "external/core/capture_resampler.h"

#include <algorithm>

namespace omber::external {

void CaptureResampler::process(const double* left, const double* right, std::size_t frames, double sampleRate,
                               CaptureRing& ring) noexcept {
  const double ratio = sampleRate > 0.0 ? sampleRate / 48000.0 : 1.0;
  const double advance = 1.0 / ratio;
  const auto ratioF = static_cast<float>(ratio);
  float block[kBlockFrames * 2];
  std::size_t held = 0;

  for (std::size_t k = 0; k < frames; ++k) {
    const auto currentLeft = static_cast<float>(left[k]);
    const auto currentRight = static_cast<float>(right[k]);
    if (havePrevious_) {
      phase_ += advance;
      while (phase_ >= 1.0) {
        phase_ -= 1.0;
        const float g = std::clamp(1.0f - static_cast<float>(phase_) * ratioF, 0.0f, 1.0f);
        block[held * 2] = previousLeft_ + (currentLeft - previousLeft_) * g;
        block[held * 2 + 1] = previousRight_ + (currentRight - previousRight_) * g;
        if (++held == kBlockFrames) {
          ring.writeFrames(block, held);
          held = 0;
        }
      }
    } else {
      havePrevious_ = true;
    }
    previousLeft_ = currentLeft;
    previousRight_ = currentRight;
  }
  if (held) ring.writeFrames(block, held);
}

}  // namespace omber::external

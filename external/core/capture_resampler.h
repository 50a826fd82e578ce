// Turns the audio at an instance's inputs, at Max's sample rate, into
// 48 kHz stereo frames for the CaptureRing, by linear interpolation between
// consecutive input frames.
//
// Audio thread only. Captured frames are batched into 512-frame blocks
// before they touch the ring.
#pragma once

#include <cstddef>

#include "external/core/capture_ring.h"
#include "external/core/realtime.h"

namespace omber::external {

class CaptureResampler {
 public:
  static constexpr std::size_t kBlockFrames = 512;

  // Forgets the previous input frame and the phase; the next input frame
  // only primes the interpolation.
  void reset() noexcept {
    phase_ = 0.0;
    havePrevious_ = false;
  }

  // Resamples `frames` input frames at `sampleRate` into the ring.
  // Realtime-safe.
  void process(const double* left, const double* right, std::size_t frames, double sampleRate,
               CaptureRing& ring) noexcept OMBER_NONBLOCKING;

 private:
  double phase_ = 0.0;
  float previousLeft_ = 0.0f;
  float previousRight_ = 0.0f;
  bool havePrevious_ = false;
};

}  // namespace omber::external

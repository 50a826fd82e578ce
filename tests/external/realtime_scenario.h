// Drives one omber~ Instance through every command kind and every instant
// switch, as the link thread and the audio thread would, for the realtime
// checks. The caller wraps each perform call (to count or to sanitize).
//
// Frames are translated on the calling thread before the vector that
// applies them, so every allocation happens outside perform; released blocks
// are freed between vectors, as the link thread does.
#pragma once

#include <functional>

#include "external/core/instance.h"

namespace omber::external::testing {

struct ScenarioStats {
  int vectors = 0;
  int commandsApplied = 0;
  std::size_t capturedBytes = 0;
};

using PerformCall = std::function<void(Instance& instance, const double* const* ins, double* const* outs, long frames)>;

// At 44.1 kHz both resamplings run; at 48 kHz the voice's one-frame-step
// runs.
ScenarioStats runEveryCommandKind(Instance& instance, const PerformCall& perform, double sampleRate = 44100.0);

}  // namespace omber::external::testing

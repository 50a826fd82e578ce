// The current source audio: what the server generates from and what the
// players play. Owned by the engine; the server session fills it, playback
// and the endpoint table read it. JavaScript thread only.
#pragma once

#include <cstdint>
#include <vector>

namespace omber::live {

struct SourceBuffer {
  std::vector<float> samples;  // interleaved
  std::int32_t channels = 2;
  std::int32_t frames = 0;  // samples / channels
  std::int32_t epoch = 0;   // source epoch this audio belongs to
};

}  // namespace omber::live

#include "external/core/player_command.h"

#include <cstdlib>

namespace omber::external {

float* allocateSamples(std::size_t sampleCount) noexcept {
  // malloc(0) may legally return nullptr; an empty block is still a block.
  const std::size_t bytes = sampleCount ? sampleCount * sizeof(float) : sizeof(float);
  return static_cast<float*>(std::malloc(bytes));
}

void freeSamples(float* block) noexcept { std::free(block); }

}  // namespace omber::external

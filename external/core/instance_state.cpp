#include "external/core/instance_state.h"

namespace omber::external {

InstanceState::~InstanceState() {
  PlayerCommand command;
  while (commands.pop(command)) freeSamples(command.block);
  freeReleasedBlocks();
}

void InstanceState::releaseBlock(float* block) noexcept {
  if (block && !releases.push(block)) {
    fallbackFrees.fetch_add(1, std::memory_order_relaxed);
    freeSamples(block);
  }
}

void InstanceState::freeReleasedBlocks() noexcept {
  float* block = nullptr;
  while (releases.pop(block)) freeSamples(block);
}

}  // namespace omber::external

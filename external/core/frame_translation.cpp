#include "external/core/frame_translation.h"

#include <cstring>
#include <thread>

#include "link/frame.h"

namespace omber::external {

using link::FrameType;

void FrameTranslator::handle(std::uint8_t type, const std::uint8_t* payload, std::uint64_t size) {
  switch (static_cast<FrameType>(type)) {
    case FrameType::Init: pushBuffer(CommandKind::Replace, payload, size); break;
    case FrameType::Swap: pushBuffer(CommandKind::Swap, payload, size); break;
    case FrameType::Patch: pushPatch(payload, size); break;
    case FrameType::Band:
      if (size >= 16) {
        PlayerCommand command;
        command.kind = CommandKind::Band;
        command.value1 = link::getF64(payload);
        command.value2 = link::getF64(payload + 8);
        push(command);
      }
      break;
    case FrameType::Seek:
      if (size >= 8) {
        PlayerCommand command;
        command.kind = CommandKind::Seek;
        command.value1 = link::getF64(payload);
        push(command);
      }
      break;
    case FrameType::Loop: {
      PlayerCommand command;
      command.kind = CommandKind::Loop;
      command.value1 = flagValue(payload, size) ? 1.0 : 0.0;
      push(command);
      break;
    }
    case FrameType::Capture: state_.capturing.store(flagValue(payload, size), std::memory_order_relaxed); break;
    case FrameType::Run: state_.voice.setAdvancing(flagValue(payload, size)); break;
    default: break;  // frames for the engine, or unknown
  }
}

void FrameTranslator::pushBuffer(CommandKind kind, const std::uint8_t* payload, std::uint64_t size) {
  if (size < 10) return;
  const std::uint16_t channels = link::getU16(payload + 4);
  const std::uint32_t frames = link::getU32(payload + 6);
  if (channels == 0) return;
  const std::uint64_t samples = std::uint64_t{channels} * frames;  // at most 2^48, no overflow
  if (size < 10 + 4 * samples) return;
  float* block = allocateSamples(samples);
  if (!block) return;
  std::memcpy(block, payload + 10, samples * sizeof(float));
  PlayerCommand command;
  command.kind = kind;
  command.block = block;
  command.frames = frames;
  command.channels = channels;
  push(command);
}

void FrameTranslator::pushPatch(const std::uint8_t* payload, std::uint64_t size) {
  if (size < 4) return;
  const std::uint64_t frames = (size - 4) / 8;
  float* block = allocateSamples(frames * 2);
  if (!block) return;
  std::memcpy(block, payload + 4, frames * 8);
  PlayerCommand command;
  command.kind = CommandKind::Patch;
  command.block = block;
  command.startFrame = link::getU32(payload);
  command.frames = static_cast<std::uint32_t>(frames);  // a frame holds < 2^28 bytes
  command.channels = 2;
  push(command);
}

void FrameTranslator::push(const PlayerCommand& command) {
  const auto deadline = std::chrono::steady_clock::now() + timing_.pushTimeout;
  for (;;) {
    if (state_.commands.push(command)) return;
    // The audio thread hands back a block for every command it applies;
    // freeing them while waiting keeps the ReleaseQueue from filling up.
    if (!state_.keepWaiting() || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(timing_.pushRetry);
  }
  freeSamples(command.block);
  ++dropped_;
}

}  // namespace omber::external

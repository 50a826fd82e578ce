// Turns the engine's link frames into player commands and instant switches.
//
// Runs on the link thread inside FrameReader::feed. Sample blocks are copied
// out of the frame into new blocks here, so the audio thread never
// allocates. Frames shorter than their type needs, and unknown types, are
// ignored; a block that cannot be allocated drops its frame.
#pragma once

#include <chrono>
#include <cstdint>

#include "external/core/instance_state.h"

namespace omber::external {

class FrameTranslator {
 public:
  // How long a command may wait for room in a full CommandQueue before it
  // is dropped, and how often it looks again.
  struct Timing {
    std::chrono::milliseconds pushTimeout{5000};
    std::chrono::milliseconds pushRetry{1};
  };

  explicit FrameTranslator(InstanceState& state) : FrameTranslator(state, Timing{}) {}
  FrameTranslator(InstanceState& state, Timing timing) : state_(state), timing_(timing) {}

  // Link thread only. Allocates sample blocks; may wait while the
  // CommandQueue is full (until it has room, the timeout passes, the
  // instance stops running or a connect or disconnect request arrives),
  // freeing released blocks meanwhile.
  void handle(std::uint8_t type, const std::uint8_t* payload, std::uint64_t size);

  // Commands lost because the queue stayed full or the instance stopped.
  std::uint64_t dropped() const { return dropped_; }

 private:
  void pushBuffer(CommandKind kind, const std::uint8_t* payload, std::uint64_t size);
  void pushPatch(const std::uint8_t* payload, std::uint64_t size);
  // Stores the command, waiting for room; frees its block when it cannot.
  void push(const PlayerCommand& command);

  InstanceState& state_;
  Timing timing_;
  std::uint64_t dropped_ = 0;
};

// The on/off value of a Loop, Capture or Run payload: an empty payload is off.
inline bool flagValue(const std::uint8_t* payload, std::uint64_t size) { return size > 0 && payload[0] != 0; }

}  // namespace omber::external

// Commands and buffers for the voice and instance tests.
#pragma once

#include <cmath>
#include <functional>
#include <vector>

#include "external/core/player_command.h"
#include "external/core/player_voice.h"

namespace omber::external::testing {

// A recognisable sample for frame f, channel c.
inline float sampleAt(std::size_t f, int c) { return static_cast<float>(std::sin(0.01 * f + c)) * 0.5f + c * 0.25f; }

inline PlayerCommand bufferCommand(CommandKind kind, std::uint32_t frames, std::uint16_t channels = 2,
                                   const std::function<float(std::size_t, int)>& value = sampleAt) {
  PlayerCommand command;
  command.kind = kind;
  command.frames = frames;
  command.channels = channels;
  command.block = allocateSamples(std::size_t{frames} * channels);
  for (std::size_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) command.block[f * channels + c] = value(f, c);
  }
  return command;
}

inline PlayerCommand valueCommand(CommandKind kind, double value1, double value2 = 0.0) {
  PlayerCommand command;
  command.kind = kind;
  command.value1 = value1;
  command.value2 = value2;
  return command;
}

// Applies a command and frees whatever the voice gives back; returns how
// many blocks came back.
inline int applyAndRelease(PlayerVoice& voice, const PlayerCommand& command) {
  const PlayerVoice::Released released = voice.apply(command);
  for (int i = 0; i < released.count; ++i) freeSamples(released.blocks[i]);
  return released.count;
}

struct Rendered {
  std::vector<float> left, right;
};

inline Rendered render(PlayerVoice& voice, std::size_t frames, double sampleRate = 48000.0) {
  Rendered out{std::vector<float>(frames), std::vector<float>(frames)};
  voice.render(out.left.data(), out.right.data(), frames, sampleRate);
  return out;
}

}  // namespace omber::external::testing

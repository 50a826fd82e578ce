// Feeds arbitrary bytes to omber~'s link path as the link thread would: the
// frame reader cuts them into frames, the translator turns those into player
// commands, and the audio side applies them and renders, so that no stream
// of bytes can crash the instance or corrupt the voice.
#include <cstddef>
#include <cstdint>
#include <string>

#include "external/core/frame_translation.h"
#include "external/core/instance.h"
#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace omber::external;
  // A 64 KiB capture ring instead of the 2 MiB default: zero-filling the
  // large one cost most of each execution, and a small ring also reaches
  // the ring-full path far more often.
  Instance instance([](const std::string&) {}, {}, 65536);
  InstanceState& state = instance.state();
  // A full queue drops the command at once instead of waiting.
  FrameTranslator translator(state,
                             FrameTranslator::Timing{std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
  omber::link::FrameReader reader([&translator](std::uint8_t type, const std::uint8_t* payload, std::uint64_t length) {
    translator.handle(type, payload, length);
  });
  instance.prepare(size % 2 ? 44100.0 : 48000.0, 64);

  double inL[64] = {0}, inR[64] = {0}, outL[64], outR[64];
  const double* ins[2] = {inL, inR};
  double* outs[2] = {outL, outR};
  // The first byte sets the chunk size, so frames also arrive split. A vector
  // is rendered after every chunk, but at most kRenders times per input:
  // with one-byte chunks, rendering thousands of vectors per input cost
  // nearly all of the time without reaching more of the voice.
  constexpr std::size_t kRenders = 64;
  const std::size_t chunk = size ? 1 + data[0] % 97 : 1;
  const std::size_t chunks = size / chunk + 1;
  const std::size_t stride = chunks > kRenders ? (chunks + kRenders - 1) / kRenders : 1;
  std::size_t fed = 0;
  for (std::size_t at = size ? 1 : 0; at < size; at += chunk) {
    const std::size_t count = at + chunk <= size ? chunk : size - at;
    if (!reader.feed(data + at, count)) break;
    if (++fed % stride != 0) continue;
    instance.perform(ins, 2, outs, 2, 64);
    state.freeReleasedBlocks();
    std::uint8_t drained[4096];
    while (state.captureRing.read(drained, sizeof drained) > 0) {
    }
  }
  for (int i = 0; i < 4; ++i) instance.perform(ins, 2, outs, 2, 64);
  return 0;
}

#include "realtime_scenario.h"

#include <cmath>
#include <vector>

#include "external/core/frame_translation.h"
#include "link/frame.h"

namespace omber::external::testing {

namespace {

using link::FrameType;

std::vector<float> tone(std::size_t frames, double frequency) {
  std::vector<float> samples(frames * 2);
  for (std::size_t f = 0; f < frames; ++f) {
    samples[f * 2] = static_cast<float>(std::sin(frequency * static_cast<double>(f)));
    samples[f * 2 + 1] = static_cast<float>(std::cos(frequency * static_cast<double>(f)));
  }
  return samples;
}

}  // namespace

ScenarioStats runEveryCommandKind(Instance& instance, const PerformCall& perform, double sampleRate) {
  constexpr long kFrames = 64;
  InstanceState& state = instance.state();
  FrameTranslator translator(state);
  instance.prepare(sampleRate, kFrames);
  instance.logPatches(true);  // the applied-patch log is written on the audio thread too

  std::vector<double> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
  const double* ins[2] = {inL.data(), inR.data()};
  double* outs[2] = {outL.data(), outR.data()};
  ScenarioStats stats;
  auto send = [&](const std::vector<std::uint8_t>& frame) {
    translator.handle(frame[4], frame.data() + link::kHeaderBytes, frame.size() - link::kHeaderBytes);
  };
  auto play = [&](int vectors) {
    for (int v = 0; v < vectors; ++v) {
      for (long k = 0; k < kFrames; ++k) {
        inL[k] = std::sin(0.01 * (stats.vectors * kFrames + k));
        inR[k] = -inL[k];
      }
      const std::size_t waiting = state.commands.size();
      perform(instance, ins, outs, kFrames);
      stats.commandsApplied += static_cast<int>(waiting - state.commands.size());
      ++stats.vectors;
      state.freeReleasedBlocks();
      std::vector<std::uint8_t> drained(state.captureRing.readable());
      stats.capturedBytes += state.captureRing.read(drained.data(), drained.size());
    }
  };

  const auto first = tone(48000, 0.01), second = tone(24000, 0.02), mono = tone(12000, 0.03);
  play(2);  // silence before Init
  send(link::encodeBuffer(FrameType::Init, first.data(), first.size(), 2, 48000));
  play(4);
  send(link::encodePatch(100, second.data(), 512));
  send(link::encodePatch(47990, second.data(), 512));  // cut at the end
  send(link::encodePatch(90000, second.data(), 4));    // beyond the end
  play(2);
  send(link::encodeBand(0.25, 0.75));  // 12000..36000: the loop end blends into earlier audio
  send(link::encodeSeek(0.74));
  play(40);
  send(link::encodeBuffer(FrameType::Swap, second.data(), second.size(), 2, 48000));  // crossfade, band cut
  play(10);
  send(link::encodeBand(0.0, 0.4));  // a loop starting at 0: declicked ends
  send(link::encodeSeek(0.39));
  play(30);
  send(link::encodeBuffer(FrameType::Swap, mono.data(), mono.size() / 2, 1, 48000));
  send(link::encodeBuffer(FrameType::Init, first.data(), first.size(), 2, 48000));  // replace while fading
  send(link::encodeFlag(FrameType::Loop, false));
  send(link::encodeSeek(0.99));
  play(20);  // runs off the end into silence
  send(link::encodeFlag(FrameType::Loop, true));
  send(link::encodeFlag(FrameType::Run, false));
  play(4);
  send(link::encodeFlag(FrameType::Run, true));
  send(link::encodeFlag(FrameType::Capture, true));
  play(20);  // a capturing player
  instance.setRole(kRoleFeeder);
  play(20);  // a capturing feeder
  send(link::encodeFlag(FrameType::Capture, false));
  instance.setRole(0);
  for (int i = 0; i < 300; ++i) send(link::encodeSeek(0.001 * i));  // more than one vector applies
  play(3);
  return stats;
}

}  // namespace omber::external::testing

// An engine whose outlet records every message, with a short way to send it
// one message.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "core/engine/engine.h"
#include "support/recording_outlet.h"

namespace omber::testing {
using namespace omber::engine;

class EngineTest : public ::testing::Test {
 protected:
  void send(const std::string& selector, Atoms atoms = {}) { engine.inlet(selector, atoms); }
  void send(const std::string& selector, double number) { send(selector, Atoms{Atom(number)}); }
  void send(const std::string& selector, int number) { send(selector, static_cast<double>(number)); }
  void send(const std::string& selector, const char* text) { send(selector, Atoms{Atom(text)}); }

  // Marks the session ready and a stream playing, as the server link will.
  void readyAndPlaying() {
    engine.live().readiness().apply({});
    playing();
  }
  // A stream starts on the source the session holds (none here), as the
  // server session starts one; what that sends is left out of the recording.
  void playing() {
    const std::size_t before = recorder.messages.size();
    engine.live().playback().start(2, 0);
    recorder.messages.resize(before);
  }

  // Hands the engine a start source as a finished print does: frames x
  // channels samples copied (zeros for null), every sample a frame below 1 channel.
  void startSource(const float* samples, std::uint64_t frames, std::int32_t channels) {
    const std::uint64_t perFrame = channels < 1 ? 1 : static_cast<std::uint64_t>(channels);
    NewSource source;
    source.samples.assign(frames * perFrame, 0.0f);
    if (samples) std::copy(samples, samples + source.samples.size(), source.samples.begin());
    source.channels = channels;
    engine.takeNewSource(std::move(source));
  }

  Recorder recorder;
  Engine engine{recorder.outlet()};
};

}  // namespace omber::testing

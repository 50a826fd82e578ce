// A live audio path on a recording transport, with the helpers the capture
// and print tests share: captured audio whose every sample is distinct, the
// "write_audio" commands read back from "ws:send", the status texts and the
// feeders' Capture flags.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/engine/real_transport.h"
#include "core/live/live_audio_path.h"
#include "core/base/json.h"
#include "support/recording_outlet.h"

namespace omber::testing {
using namespace omber::base;
using namespace omber::live;
using namespace omber::engine;

// One "write_audio" command and the audio message that followed it.
struct AudioWrite {
  std::optional<double> at;
  std::string mix;
  std::string repeat;
  std::optional<double> epoch;
  std::uint32_t channels = 0;
  std::uint32_t frames = 0;
  std::vector<float> samples;
};

// Stereo audio of `frames` frames from frame `firstFrame` of a capture whose
// sample n is (n mod 2^21) / 2^20 - 1: exact in a float, in [-1, 1), and
// distinct within every 2^21 samples (about 21.8 s).
inline std::vector<float> capturedAudio(std::uint64_t firstFrame, std::uint64_t frames) {
  std::vector<float> out(frames * 2);
  for (std::uint64_t i = 0; i < out.size(); ++i) {
    const std::uint64_t n = firstFrame * 2 + i;
    out[i] = static_cast<float>(n % (1u << 21)) / static_cast<float>(1u << 20) - 1.0f;
  }
  return out;
}

class CaptureTest : public ::testing::Test {
 protected:
  CaptureTest() {
    live.transport = &transport;
    transport.setSendGate([this](std::int64_t bytes) { return buffered + bytes <= 1048576; });
  }

  // A ready session whose stream of `seconds` plays on a 120 BPM grid in 4/4
  // (2 s bars), counted from bar 0 at the start of the buffer unless
  // `onTheGrid` is off (then no grid tempo is known and nothing pulls the
  // players onto the grid).
  void streaming(double seconds, bool onTheGrid = true) {
    live.readiness().apply({seconds, 0.0, std::nullopt, std::nullopt});
    live.grid().setGridTempo(onTheGrid ? 120 : 0);
    live.grid().setLiveTempo(120);
    // The players load a silent source of generation 3 as the server session
    // starts a stream, and take the loop's section as the performer applies
    // it; what that sends is left out of the recording.
    buffer.assign(static_cast<std::size_t>(seconds * 48000.0) * 2, 0.0f);
    live.playback().holdSource(buffer.data(), buffer.size() / 2);
    const std::size_t before = recorder.messages.size();
    live.playback().start(2, 3);
    live.grid().applySection(live.grid().loopStartBar());
    recorder.messages.resize(before);
    if (onTheGrid) live.grid().resumeAt(0, 0.0);
  }

  // Bar lines of Live pass.
  void barsPass(int bars) {
    for (int bar = 0; bar < bars; ++bar) live.grid().onBar();
  }

  // A player's Position frame of the generation it holds.
  void reportPlayHead(double seconds) { live.playback().reportPlayHead(seconds, live.playback().swapCount()); }

  // Captured audio from frame `firstFrame` on, in chunks as feeders send it.
  void capture(std::uint64_t firstFrame, std::uint64_t frames, std::uint64_t chunk = 48000) {
    for (std::uint64_t done = 0; done < frames;) {
      const std::uint64_t n = std::min(chunk, frames - done);
      const std::vector<float> audio = capturedAudio(firstFrame + done, n);
      if (std::optional<NewSource> source = live.feed().intake(n, audio.data())) started.push_back(std::move(*source));
      done += n;
    }
  }

  std::vector<AudioWrite> writes() const {
    std::vector<AudioWrite> out;
    const std::vector<Message> sends = recorder.with("ws:send");
    for (std::size_t i = 0; i + 1 < sends.size(); ++i) {
      JsonValue command;
      if (!parseJson(sends[i].bytesText(0), command) || optString(command, "type") != "write_audio") continue;
      AudioWrite w;
      w.at = optNumber(command, "at_s");
      w.mix = optString(command, "mix").value_or("");
      w.repeat = optString(command, "repeat").value_or("");
      w.epoch = optNumber(command, "source_epoch");
      const std::vector<std::uint8_t>& audio = sends[++i].bytes(0);
      w.channels = link::getU32(audio.data());
      w.frames = link::getU32(audio.data() + 4);
      w.samples.resize((audio.size() - 8) / 4);
      std::memcpy(w.samples.data(), audio.data() + 8, w.samples.size() * 4);
      out.push_back(std::move(w));
    }
    return out;
  }

  std::vector<double> positionsOf(const std::vector<AudioWrite>& ws) const {
    std::vector<double> out;
    for (const AudioWrite& w : ws) out.push_back(w.at.value_or(-1));
    return out;
  }

  std::vector<std::string> statuses() const {
    std::vector<std::string> out;
    for (const Message& m : recorder.with("ui:status")) out.push_back(m.text(0));
    return out;
  }

  // The flag of every Capture frame sent to the feeders.
  std::vector<bool> captureFlags() const {
    std::vector<bool> out;
    for (const Message& m : recorder.with("ext:write")) {
      if (m.text(0) == "feeders" && frameType(m) == link::FrameType::Capture) out.push_back(framePayload(m).at(0) != 0);
    }
    return out;
  }

  // The samples of the one new source a finished print returned (stereo).
  std::vector<float> newSource() const {
    EXPECT_EQ(started.size(), 1u);
    if (started.empty()) return {};
    EXPECT_EQ(started[0].channels, 2);
    return started[0].samples;
  }

  Recorder recorder;
  std::int64_t buffered = 0;  // bytes the host reports waiting on the WebSocket
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  std::vector<float> buffer;       // the source the players hold
  std::vector<NewSource> started;  // new sources returned by captureIntake, in order
};

}  // namespace omber::testing

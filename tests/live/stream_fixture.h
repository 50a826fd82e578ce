// An engine driven through its inlet, with scripted bridge connections and a
// stream that plays.
//
// The stream is put in place the way the server link leaves it when the
// first generated source arrived: the source buffer filled, the session
// ready, the players loaded with Init and the section applied. Until the
// server link's session and startPlayback are in this branch, startStream()
// sets that state itself; it is the one place to switch to "start",
// "cloud:wsurl", "ws:open", the "ready" reply and a binary source.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/engine_fixture.h"
#include "link/frame.h"

namespace omber::testing {

constexpr double kRate = 48000.0;

class StreamTest : public EngineTest {
 protected:
  // Bytes arriving on bridge connection id, as one "ext:data".
  void receive(int id, std::vector<std::uint8_t> bytes) {
    send("ext:data", Atoms{Atom(static_cast<double>(id)), Atom(std::move(bytes))});
  }
  void hello(int id, std::uint8_t role) { receive(id, link::encodeHello(role, 48000, 2)); }
  void position(int id, double seconds, std::int32_t swapCount) {
    receive(id, link::encodePosition(seconds, swapCount));
  }

  // A stream of a stereo source `seconds` long at the session grid tempo
  // `bpm` (as a finished print sets it), playing from now on.
  void startStream(double seconds, double bpm) {
    LiveAudioPath& live = engine.live();
    live.gridTempo = bpm;
    live.gridTempoKnown = true;

    // Stand-in for the server link: the source buffer and the session's readiness.
    auto& source = const_cast<SourceBuffer&>(engine.source());
    source.frames = static_cast<std::int32_t>(std::lround(seconds * kRate));
    source.channels = 2;
    source.samples.resize(static_cast<std::size_t>(source.frames) * 2);
    for (std::size_t i = 0; i < source.samples.size(); ++i) source.samples[i] = static_cast<float>(i % 1000) / 1000.0f;
    live.ready = true;
    live.sourceDuration = seconds;
    live.bufferSamples = source.samples.data();
    live.bufferFrames = static_cast<std::uint64_t>(source.frames);

    // Stand-in for startPlayback.
    live.channels = 2;
    live.totalSamples = static_cast<std::int64_t>(source.samples.size());
    live.generation = source.epoch;
    live.hasBuffer = true;
    live.init(live.bufferFrames, 2, kRate);
    live.swapCount = 0;
    live.reportedPlayHead = 0;
    live.playing = true;
    live.sectionPending = false;
    live.resyncPending = true;
    live.startBar = live.barCounter;
    live.applySection(live.loopStartBar, false);
    live.resyncPending = true;
  }

  // Stand-in for swapGeneration: the players were sent a new generation.
  void swapGeneration() {
    LiveAudioPath& live = engine.live();
    live.swap(live.channels, live.bufferFrames);
    live.swapCount += 1;
    if (live.playing) live.applySection(live.loopStartBar, true);
  }

  // The "ext:write" messages to a target, and the seconds of every Seek among them.
  std::vector<Message> writesTo(const std::string& target) const {
    std::vector<Message> out;
    for (const Message& m : recorder.with("ext:write"))
      if (m.text(0) == target) out.push_back(m);
    return out;
  }
  std::vector<double> seeks() const {
    std::vector<double> out;
    for (const Message& m : writesTo("players"))
      if (frameType(m) == link::FrameType::Seek) out.push_back(link::getF64(framePayload(m).data()));
    return out;
  }
};

}  // namespace omber::testing

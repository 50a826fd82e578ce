// An engine driven through its inlet, with scripted bridge connections and a
// stream that plays: the server session walked from "start" to the first
// generated source, and new generations swapped in as the server sends them.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/base/number_text.h"
#include "engine/engine_fixture.h"
#include "server/server_messages.h"
#include "link/frame.h"

namespace omber::testing {
using namespace omber::engine;

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
  // `bpm` (as a finished print sets it), playing from now on: "start", the
  // endpoint, the handshake, the readiness information and the first source.
  void startStream(double seconds, double bpm) {
    LiveAudioPath& live = engine.live();
    live.grid().setGridTempo(bpm);
    const float track[4] = {0.5f, -0.5f, 0.25f, -0.25f};
    startSource(track, 2, 2);
    send("start");
    send("cloud:wsurl", "ws://pod.test/");
    send("ws:open");
    const std::string ready = R"({"type":"ready","duration":)" + formatNumber(seconds) +
                              R"(,"bpm":120,"time_signature":"4/4","channels":2,"source_epoch":0})";
    send("ws:data", Atoms{Atom(std::vector<std::uint8_t>(ready.begin(), ready.end())), Atom(0.0)});
    std::vector<float> source(static_cast<std::size_t>(std::lround(seconds * kRate)) * 2);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<float>(i % 64) / 64.0f;
    send("ws:data", Atoms{Atom(halves(source)), Atom(1.0)});
    ASSERT_TRUE(live.playback().playing());
  }

  // The server sends a new generation of the same length.
  void swapGeneration() {
    const std::string swapReady = R"({"type":"swap_ready"})";
    send("ws:data", Atoms{Atom(std::vector<std::uint8_t>(swapReady.begin(), swapReady.end())), Atom(0.0)});
    const std::int32_t swaps = engine.live().playback().swapCount();
    std::vector<float> source(engine.source().samples.size(), 0.25f);
    send("ws:data", Atoms{Atom(halves(source)), Atom(1.0)});
    ASSERT_EQ(engine.live().playback().swapCount(), swaps + 1);
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

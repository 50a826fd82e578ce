// A host callback may dispatch again while the engine is still inside an
// outlet call. These tests re-enter from the outlet the way such a callback
// does and check that the outer handler neither uses what the inner message
// freed nor acts on a connection that is gone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/engine/engine.h"
#include "link/frame.h"
#include "support/recording_outlet.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::Message;

std::vector<std::uint8_t> join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ReentryTest : public ::testing::Test {
 protected:
  // Every message is recorded; `hook` runs after recording and may dispatch.
  ReentryTest()
      : engine([this](const std::string& selector, const Atoms& atoms) {
          messages.push_back({selector, atoms});
          if (hook) hook(selector, atoms);
        }) {}

  void send(const std::string& selector, Atoms atoms) { engine.inlet(selector, atoms); }
  void data(int id, std::vector<std::uint8_t> bytes) {
    send("ext:data", Atoms{Atom(static_cast<double>(id)), Atom(std::move(bytes))});
  }
  std::vector<std::string> selectors() const {
    std::vector<std::string> out;
    for (const Message& m : messages) out.push_back(m.selector);
    return out;
  }

  std::vector<Message> messages;
  std::function<void(const std::string&, const Atoms&)> hook;
  Engine engine;
};

// The callback closes the connection while its frames are being read: the
// frames after the close belong to nobody and nothing is dropped twice.
TEST_F(ReentryTest, AConnectionClosedFromTheCallbackStopsItsFrames) {
  bool closed = false;
  hook = [&](const std::string& selector, const Atoms&) {
    if (selector == "ext:role" && !closed) {
      closed = true;
      send("ext:close", Atoms{Atom(1.0)});
    }
  };
  data(1, join(join(link::encodeHello(link::kRolePlayer, 48000, 2), link::encodePosition(2.5, 0)),
               link::encodeHello(link::kRoleFeeder, 48000, 2)));
  EXPECT_EQ(selectors(), std::vector<std::string>{"ext:role"});
  EXPECT_TRUE(engine.endpoints().endpoints().empty());
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 0.0);
}

// The callback reconnects the same id: the new connection starts clean and
// the old connection's remaining frames do not reach it.
TEST_F(ReentryTest, AConnectionReplacedFromTheCallbackKeepsTheOldFramesOut) {
  bool reconnected = false;
  hook = [&](const std::string& selector, const Atoms&) {
    if (selector == "ext:role" && !reconnected) {
      reconnected = true;
      send("ext:conn", Atoms{Atom(1.0)});
    }
  };
  data(1, join(link::encodeHello(link::kRoleFeeder, 48000, 2), link::encodePosition(2.5, 0)));
  EXPECT_EQ(selectors(), std::vector<std::string>{"ext:role"});
  ASSERT_EQ(engine.endpoints().endpoints().count(1), 1u);
  EXPECT_FALSE(engine.endpoints().endpoints().at(1)->helloSeen);

  // The new connection's own frames are read as usual.
  hook = nullptr;
  messages.clear();
  data(1, link::encodeHello(link::kRoleFeeder, 48000, 2));
  ASSERT_EQ(selectors(), std::vector<std::string>{"ext:role"});
  EXPECT_EQ(messages[0].text(1), "feeders");
}

// Bytes for the same connection that arrive from the callback wait until the
// frames being handled are done, then follow them in order.
TEST_F(ReentryTest, DataForTheSameConnectionFromTheCallbackFollowsInOrder) {
  bool fed = false;
  hook = [&](const std::string& selector, const Atoms&) {
    if (selector == "ext:role" && !fed) {
      fed = true;
      data(1, link::encodePosition(1.5, 0));
    }
  };
  data(1, join(link::encodeHello(link::kRolePlayer, 48000, 2), link::encodePosition(0.5, 0)));
  ASSERT_EQ(selectors(), (std::vector<std::string>{"ext:role", "ui:position", "ui:position"}));
  EXPECT_EQ(messages[1].number(0), 0.5);
  EXPECT_EQ(messages[2].number(0), 1.5);
  EXPECT_EQ(engine.live().playback().reportedPlayHead(), 1.5);
  EXPECT_EQ(engine.endpoints().endpoints().count(1), 1u);
}

// A bad frame for the connection from inside the callback drops it once; the
// outer read stops without a second "ext:drop".
TEST_F(ReentryTest, ABadLengthFromTheCallbackDropsTheConnectionOnce) {
  bool fed = false;
  hook = [&](const std::string& selector, const Atoms&) {
    if (selector == "ext:role" && !fed) {
      fed = true;
      data(1, {0, 0, 0, 0});
    }
  };
  data(1, join(link::encodeHello(link::kRolePlayer, 48000, 2), link::encodePosition(0.5, 0)));
  EXPECT_EQ(selectors(), (std::vector<std::string>{"ext:role", "ui:position", "ext:drop"}));
  EXPECT_TRUE(engine.endpoints().endpoints().empty());
}

// A preset applied while the callback, on the first echo, lets a new
// handshake replace the knob manifest: the preset finishes with the manifest
// it started with instead of walking freed members.
TEST_F(ReentryTest, APresetKeepsItsManifestWhenTheCallbackReplacesIt) {
  const auto text = [](const std::string& s) { return Atom(std::vector<std::uint8_t>(s.begin(), s.end())); };
  const auto handshake = [&](const std::string& knobs) {
    send("ws:open", Atoms{});
    send("ws:data", Atoms{text(R"({"type":"ready","duration":1,"knob_manifest":{"knobs":)" + knobs + "}}"), Atom(0.0)});
  };
  send("start", Atoms{});
  handshake(R"({"alpha_knob_with_a_long_name":{"default":0.25},"beta_knob_with_a_long_name":{"default":0.5}})");
  bool replaced = false;
  hook = [&](const std::string& selector, const Atoms&) {
    if (selector == "echo" && !replaced) {
      replaced = true;
      handshake(R"({"gamma":{"default":0.75}})");
    }
  };
  send("preset:data", Atoms{Atom(R"({"controls":{}})")});
  std::vector<std::string> names;
  for (const Message& m : messages)
    if (m.selector == "echo") names.push_back(m.text(0));
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "alpha_knob_with_a_long_name");
  EXPECT_EQ(names[1], "beta_knob_with_a_long_name");
}

// In the automatic mode one captured bar goes out several times (once per
// print period). A capture that arrives from the callback between those
// writes grows the capture buffer; every write still carries the same bar.
TEST_F(ReentryTest, RepeatedBarWritesKeepTheirAudioWhenCaptureArrivesInBetween) {
  const auto bytes = [](const std::string& s) { return Atom(std::vector<std::uint8_t>(s.begin(), s.end())); };
  engine.live().grid().setGridTempo(480);  // 0.5 s bars
  const float track[4] = {0.5f, -0.5f, 0.25f, -0.25f};
  engine.takeNewSource(NewSource{std::vector<float>(track, track + 4), 2, 0.0});
  send("start", Atoms{});
  send("ws:open", Atoms{});
  send("ws:data", Atoms{bytes(R"({"type":"ready","duration":2,"channels":2})"), Atom(0.0)});
  send("ws:data", Atoms{Atom(std::vector<std::uint8_t>(96000 * 2 * 2, 0)), Atom(1.0)});
  ASSERT_TRUE(engine.live().playback().playing());
  engine.live().feed().setPrintPeriod(0.5);
  for (int feeder : {3, 4}) {
    send("ext:conn", Atoms{Atom(static_cast<double>(feeder))});
    data(feeder, link::encodeHello(link::kRoleFeeder, 48000, 2));
  }
  send("feed", Atoms{Atom("auto")});
  send("bar", Atoms{});
  send("bar", Atoms{});

  std::vector<float> bar(24000 * 2);
  for (std::size_t i = 0; i < bar.size(); ++i) bar[i] = static_cast<float>(i % 1000) / 1000.0f;
  int nested = 0;
  hook = [&](const std::string& selector, const Atoms& atoms) {
    if (selector == "ws:send" && atoms.at(0).bytes.size() > 1000 && nested < 3) {
      ++nested;
      // Another feeder's audio (the same connection's would wait its turn)
      // grows the capture buffer.
      const std::vector<float> later(200000 * 2, 0.75f);
      data(4, link::encodeCapturePcm(later.data(), 200000));
    }
  };
  messages.clear();
  data(3, link::encodeCapturePcm(bar.data(), 24000));
  hook = nullptr;

  std::vector<std::vector<std::uint8_t>> audio;
  for (const Message& m : messages)
    if (m.selector == "ws:send" && m.atoms.at(0).bytes.size() == 8 + bar.size() * 4) audio.push_back(m.atoms[0].bytes);
  // The outer bar at 0, 0.5, 1 and 1.5 s, and the bar the nested capture completed.
  ASSERT_EQ(audio.size(), 8u);
  int outer = 0;
  for (const auto& a : audio) {
    if (std::memcmp(a.data() + 8, bar.data(), bar.size() * 4) == 0) {
      ++outer;
      continue;
    }
    float first;
    std::memcpy(&first, a.data() + 8, sizeof first);
    EXPECT_EQ(first, 0.75f);
  }
  EXPECT_EQ(outer, 4);
}

}  // namespace
}  // namespace omber::live

// Live sync through the engine's inlet: section changes waiting for the bar
// line, and a whole performance in which a scripted Live clock sends bars
// while a scripted player drifts away from the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "live/stream_fixture.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::frameType;
using testing::framePayload;
using testing::Message;
using testing::StreamTest;

TEST_F(StreamTest, SectionChangesWaitForTheBarLine) {
  send("bars", 2);
  startStream(16, 120);
  recorder.clear();

  send("section", 1);
  EXPECT_EQ(recorder.selectors(), std::vector<std::string>{"ui:section_pending"});
  EXPECT_EQ(recorder.messages[0].number(0), 2);
  EXPECT_EQ(engine.live().grid().loopStartBar(), -1);
  send("section", 2);   // the latest request wins
  position(1, 0.5, 0);  // reports in between move nothing
  EXPECT_TRUE(recorder.with("ext:write").empty());

  recorder.clear();
  send("bar");
  EXPECT_EQ(engine.live().grid().loopStartBar(), 4);
  EXPECT_EQ(recorder.with("ui:section").size(), 1u);
  EXPECT_EQ(seeks(), std::vector<double>{8.0});

  // Without quantisation the change is at once.
  recorder.clear();
  send("quant", 0);
  send("section", 0);
  EXPECT_EQ(engine.live().grid().loopStartBar(), 0);
  EXPECT_EQ(seeks(), std::vector<double>{0.0});
  EXPECT_TRUE(recorder.with("ui:section_pending").empty());
}

// omber~ as a player: loads, loops its band, holds while Run is off and
// lands exactly where a Seek sends it.
struct ScriptedPlayer {
  int id = 1;
  double head = 0;  // seconds
  double bandStart = 0, bandEnd = 0;
  std::int32_t swapCount = 0;
  bool running = true;

  void play(double seconds) {
    if (!running) return;
    head += seconds;
    if (bandEnd > bandStart) {
      while (head >= bandEnd) head -= bandEnd - bandStart;
    }
  }

  // The frames the engine wrote to this player since message `from`.
  void take(const std::vector<Message>& messages, std::size_t from) {
    for (std::size_t i = from; i < messages.size(); ++i) {
      const Message& m = messages[i];
      if (m.selector != "ext:write" || (m.text(0) != "players" && m.text(0) != std::to_string(id))) continue;
      const std::vector<std::uint8_t> p = framePayload(m);
      switch (frameType(m)) {
        case link::FrameType::Init:
          head = 0;
          swapCount = 0;
          break;
        case link::FrameType::Swap: swapCount += 1; break;
        case link::FrameType::Band:
          bandStart = link::getF64(p.data());
          bandEnd = link::getF64(p.data() + 8);
          break;
        case link::FrameType::Seek: head = link::getF64(p.data()); break;
        case link::FrameType::Run: running = !p.empty() && p[0] != 0; break;
        default: break;
      }
    }
  }
};

struct DriftCase {
  double driftPerBar;  // seconds the player gains on each 2 s bar
  int corrections;     // drift corrections expected in bars 2 to 64
};

void PrintTo(const DriftCase& c, std::ostream* out) { *out << c.driftPerBar * 1000 << " ms per bar"; }

class PerformanceTest : public StreamTest, public ::testing::WithParamInterface<DriftCase> {};

// 120 BPM, a 16 s buffer, the loop over bars 2 to 5 (4 s to 12 s). The
// player reports its play head four times a bar, the last time right at the
// bar line; the grid expects bar k at 4 + (2k mod 8) seconds.
TEST_P(PerformanceTest, DriftBeyond40MsIsCorrectedAtTheBarLineOnly) {
  const DriftCase drift = GetParam();
  constexpr double kBar = 2.0, kStart = 4.0, kLength = 8.0;
  ScriptedPlayer player;
  std::size_t seen = 0;
  auto deliver = [&] {
    player.take(recorder.messages, seen);
    seen = recorder.messages.size();
  };

  // The Live clock: tempo and a stopped transport before the stream.
  send("tempo", 120);
  send("transport", 0);
  send("bars", 4);
  send("loop_start", 2);
  startStream(16, 120);
  send("ext:conn", player.id);
  hello(player.id, link::kRolePlayer);
  send("transport", 1);  // Live starts: the players go to the loop start
  deliver();
  ASSERT_EQ(player.head, kStart);
  ASSERT_TRUE(player.running);

  int corrections = 0;
  for (int bar = 1; bar <= 64; ++bar) {
    const std::size_t barStart = recorder.messages.size();
    for (int quarter = 1; quarter <= 4; ++quarter) {
      player.play((kBar + drift.driftPerBar) / 4);
      position(player.id, player.head, player.swapCount);
      if (bar == 30 && quarter == 2) {
        swapGeneration();  // a new generation arrives mid-bar
        deliver();
        ASSERT_EQ(player.swapCount, 1);
      }
    }
    // A report sent before the swap, held up on the way, arrives last.
    if (bar == 30) position(player.id, player.head + 0.5, 0);

    const std::size_t mark = recorder.messages.size();
    send("bar");
    std::vector<double> barSeeks, barPhases;
    for (std::size_t i = barStart; i < recorder.messages.size(); ++i) {
      const Message& m = recorder.messages[i];
      if (m.selector == "ext:write" && frameType(m) == link::FrameType::Seek) {
        ASSERT_GE(i, mark) << "a seek between bar lines, before bar " << bar;
        barSeeks.push_back(link::getF64(framePayload(m).data()));
      }
      if (m.selector == "ui:phase") barPhases.push_back(m.number(0));
    }

    SCOPED_TRACE("bar " + std::to_string(bar));
    const double expected = kStart + std::fmod(bar * kBar, kLength);
    const double error = std::remainder(player.head - expected, kLength);
    ASSERT_EQ(barPhases.size(), 1u);
    if (bar == 1) {
      // The first bar line places the players on the grid.
      EXPECT_EQ(barSeeks, std::vector<double>{expected});
      EXPECT_EQ(barPhases[0], 0.0);
    } else {
      EXPECT_NEAR(barPhases[0], error * 1000, 1e-6);
      if (std::fabs(error) > 0.040) {
        EXPECT_EQ(barSeeks, std::vector<double>{expected});  // exactly on the grid
        ++corrections;
      } else {
        EXPECT_TRUE(barSeeks.empty());
      }
    }
    deliver();
    if (!barSeeks.empty()) {
      ASSERT_EQ(player.head, expected);
    }
  }
  EXPECT_EQ(corrections, drift.corrections);
}

INSTANTIATE_TEST_SUITE_P(Drifts, PerformanceTest,
                         ::testing::Values(DriftCase{0.007, 10},    // 42 ms after 6 bars
                                           DriftCase{-0.013, 15},   // -52 ms after 4 bars
                                           DriftCase{0.0005, 0}));  // 31.5 ms after 63 bars

}  // namespace
}  // namespace omber::live

// Capture through the engine's inlet where the server or the feeders could
// make it misbehave: a print that becomes a new source in the middle of a
// stream, a duration claim far beyond the buffer, several feeders at once.
#include <algorithm>
#include <cstring>

#include "core/base/json.h"
#include "live/stream_fixture.h"

namespace omber::live {
using namespace omber::engine;
namespace {

using testing::Message;
using testing::StreamTest;

std::vector<std::uint8_t> captureOf(float value, std::uint32_t frames) {
  const std::vector<float> stereo(static_cast<std::size_t>(frames) * 2, value);
  return link::encodeCapturePcm(stereo.data(), frames);
}

// The "type" of every JSON command sent to the server.
std::vector<std::string> commandTypes(const std::vector<Message>& sends) {
  std::vector<std::string> out;
  for (const Message& m : sends) {
    JsonValue command;
    if (parseJson(m.bytesText(0), command)) out.push_back(optString(command, "type").value_or("?"));
  }
  return out;
}

class CaptureLimitsTest : public StreamTest {
 protected:
  static constexpr int kFeeder = 3;
  void feeder(int id) {
    send("ext:conn", id);
    hello(id, link::kRoleFeeder);
  }
};

// Once a print's upload has begun, the old session says nothing more: no
// telemetry or blend glide on the ticks, no captured audio in any feed mode,
// until the new session is ready.
TEST_F(CaptureLimitsTest, NothingOfTheOldSessionFollowsTheUploadOfAPrint) {
  for (const char* mode : {"stream", "auto", "splice"}) {
    SCOPED_TRACE(mode);
    recorder.clear();
    startStream(4, 120);
    send("tempo", 120);
    feeder(kFeeder);
    send("feed", mode);
    send("splice_arm", 1);
    send("blend", 0.9);
    send("canvas_arm", 4);  // 8 s: longer than the 4 s source, so a new source
    send("bar");
    for (int i = 0; i < 8; ++i) receive(kFeeder, captureOf(0.25f, 48000));
    ASSERT_FALSE(recorder.with("cloud:resolve").empty());
    EXPECT_FALSE(engine.live().playback().playing());

    recorder.clear();
    send("ws:open");  // the new handshake goes out
    recorder.clear();
    for (int i = 0; i < 5; ++i) {
      send("tick:param");
      send("bar");
      receive(kFeeder, captureOf(0.5f, 48000));
    }
    EXPECT_TRUE(recorder.with("ws:send").empty()) << ::testing::PrintToString(commandTypes(recorder.with("ws:send")));
  }
}

// A readiness that claims 4000 s with a 2 s buffer: one captured bar is
// written where it was played and at the repeats the real buffer holds.
TEST_F(CaptureLimitsTest, AClaimedDurationBeyondTheBufferDoesNotMultiplyTheWrites) {
  startStream(2, 120);
  engine.live().readiness().setSourceDuration(4000.0);  // as a lying readiness leaves it
  engine.live().feed().setPrintPeriod(0.5);
  send("tempo", 480);  // 0.5 s bars
  engine.live().grid().setGridTempo(480);
  feeder(kFeeder);
  send("feed", "auto");
  send("bar");
  send("bar");
  recorder.clear();
  receive(kFeeder, captureOf(0.25f, 24000));  // one bar
  const std::vector<std::string> types = commandTypes(recorder.with("ws:send"));
  EXPECT_EQ(std::count(types.begin(), types.end(), "write_audio"), 4);  // 0, 0.5, 1, 1.5 s
}

// The readiness duration is checked against the buffer that arrives.
TEST_F(CaptureLimitsTest, AReadinessDurationThatDisagreesWithTheBufferIsIgnored) {
  startStream(2, 120);
  EXPECT_DOUBLE_EQ(engine.live().readiness().sourceDuration(), 2.0);

  send("stop");
  send("start");
  send("cloud:wsurl", "ws://pod.test/");
  send("ws:open");
  const std::string ready = R"({"type":"ready","duration":4000,"bpm":120,"channels":2,"source_epoch":1})";
  send("ws:data", Atoms{Atom(std::vector<std::uint8_t>(ready.begin(), ready.end())), Atom(0.0)});
  send("ws:data", Atoms{Atom(testing::halves(std::vector<float>(96000 * 2, 0.0f))), Atom(1.0)});
  EXPECT_DOUBLE_EQ(engine.live().readiness().sourceDuration(), 2.0);
}

// A channel count the link frame cannot carry is refused: a clear status,
// nothing stored, and no Init that would announce another count.
TEST_F(CaptureLimitsTest, AChannelCountAboveTheFrameFieldIsRefused) {
  send("tempo", 120);
  const float track[4] = {0.5f, -0.5f, 0.25f, -0.25f};
  startSource(track, 2, 2);
  send("start");
  send("cloud:wsurl", "ws://pod.test/");
  send("ws:open");
  recorder.clear();
  const std::string ready = R"({"type":"ready","duration":1,"bpm":120,"channels":65537,"source_epoch":0})";
  send("ws:data", Atoms{Atom(std::vector<std::uint8_t>(ready.begin(), ready.end())), Atom(0.0)});
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:status"});
  EXPECT_EQ(recorder.messages[0].text(0), "pod announced 65537 channels; at most 65535 are supported");
  EXPECT_FALSE(engine.live().readiness().ready());
  EXPECT_EQ(engine.session().channels, 2);
  recorder.clear();
  send("ws:data", Atoms{Atom(testing::halves(std::vector<float>(65537 * 2, 0.0f))), Atom(1.0)});
  EXPECT_TRUE(recorder.with("ext:write").empty());
  EXPECT_FALSE(engine.live().playback().playing());

  // A count that fits still works.
  EXPECT_FALSE(link::encodeBuffer(link::FrameType::Init, track, 4, 65535, 48000).empty());
  EXPECT_TRUE(link::encodeBuffer(link::FrameType::Init, track, 4, 65536, 48000).empty());
  EXPECT_TRUE(link::encodeBuffer(link::FrameType::Swap, track, 4, 70000, 48000).empty());
}

// With two feeders sending, a print records the first one that delivers
// after arming; the other's audio is not interleaved into it.
TEST_F(CaptureLimitsTest, APrintTakesTheAudioOfOneFeeder) {
  send("tempo", 120);
  feeder(3);
  feeder(4);
  send("canvas_arm", 1);               // 2 s
  receive(4, captureOf(-0.5f, 4800));  // the first to deliver after arming
  receive(3, captureOf(0.5f, 4800));
  send("bar");
  recorder.clear();
  for (int i = 0; i < 20; ++i) {
    receive(3, captureOf(0.5f, 4800));
    receive(4, captureOf(-0.5f, 4800));
  }
  // The new source: the print of feeder 4 only, repeated.
  const std::vector<float>& start = engine.settings().startSamples;
  ASSERT_FALSE(start.empty());
  EXPECT_EQ(std::count(start.begin(), start.end(), 0.5f), 0);
  EXPECT_EQ(static_cast<std::size_t>(std::count(start.begin(), start.end(), -0.5f)), start.size());
}

}  // namespace
}  // namespace omber::live

// The session on its own, without the engine's providers: the default
// handshake, and the intake's rules for slices that do not merge.
#include <gtest/gtest.h>

#include "core/host/real_transport.h"
#include "core/server/server_session.h"
#include "server/server_messages.h"
#include "support/recording_outlet.h"

namespace omber {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::halves;
using testing::rawSlice;
using testing::Recorder;

class SliceIntakeTest : public ::testing::Test {
 protected:
  SliceIntakeTest() { live.transport = &transport; }

  void text(std::string_view t) {
    const Bytes b = bytesOf(t);
    session.onData(b.data(), b.size(), false);
  }
  void binary(const Bytes& b) { session.onData(b.data(), b.size(), true); }

  // Ready, then a stereo source of 4 frames holding 0.
  void streaming() {
    session.onOpen();
    text(R"({"type":"ready","source_epoch":2})");
    binary(halves(std::vector<float>(8, 0.0f)));
    recorder.clear();
  }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  SourceBuffer source;
  ServerSession session{recorder.outlet(), live, source, [] { return std::int32_t{2}; }};
};

TEST_F(SliceIntakeTest, WithoutProvidersTheHandshakeIsTheDefaultConfigurationAlone) {
  session.onOpen();
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ws:send"});
  EXPECT_EQ(recorder.messages[0].bytesText(0), R"({"prompt":"","depth":4,"steps":8,"sde":false,"lora":true})");
  const std::vector<float> none;
  session.setSamplesProvider([&none]() -> const std::vector<float>& { return none; });
  recorder.clear();
  session.onOpen();  // an empty source sends no audio
  EXPECT_EQ(recorder.messages.size(), 1u);
}

TEST_F(SliceIntakeTest, ACompressedSliceWithoutADecompressorHasNoSamples) {
  streaming();
  const Bytes slice = testing::differenceSlice(0, {1, 1});
  binary(slice);
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(source.samples, std::vector<float>(8, 0.0f));
  EXPECT_EQ(session.bytesReceived, slice.size());
}

TEST_F(SliceIntakeTest, OnlyWhatFitsIsMergedAndPatched) {
  streaming();
  session.setSliceDecompressor(zstdSliceDecompressor());
  binary(testing::differenceSlice(3, {1, 2, 3, 4}));
  EXPECT_EQ(source.samples, (std::vector<float>{0, 0, 0, 0, 0, 0, 1, 2}));
  ASSERT_EQ(recorder.with("ext:write").size(), 1u);
  const auto patch = testing::framePayload(recorder.with("ext:write")[0]);
  EXPECT_EQ(patch.size(), 4u + 2 * 4);  // one stereo frame
  EXPECT_EQ(link::getU32(patch.data()), 3u);
}

TEST_F(SliceIntakeTest, ASliceOfAnotherEpochIsDropped) {
  streaming();
  session.sourceEpoch = 3;  // e.g. a new readiness without its source yet
  binary(rawSlice(0, {1, 1}));
  EXPECT_EQ(source.samples, std::vector<float>(8, 0.0f));
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(session.bytesReceived, 27u);
}

TEST_F(SliceIntakeTest, AnOddByteAndAnOddSampleAreHandledAsTheyFit) {
  streaming();
  Bytes odd = rawSlice(0, {1, 2, 3});
  odd.push_back(0x3c);  // half a sample: ignored
  binary(odd);
  EXPECT_EQ(source.samples, (std::vector<float>{1, 2, 3, 0, 0, 0, 0, 0}));
  // Three samples make one whole stereo frame for the players.
  const auto patch = testing::framePayload(recorder.with("ext:write").at(0));
  EXPECT_EQ(patch.size(), 4u + 2 * 4);
}

// A swapped source a little longer than the last one must not double the
// buffer's memory (held for the rest of the session), and a much shorter one
// gives the memory back.
TEST_F(SliceIntakeTest, TheSourceBufferHoldsMemoryForTheCurrentSourceOnly) {
  streaming();
  const auto swapTo = [this](std::size_t samples) {
    text(R"({"type":"swap_ready"})");
    binary(halves(std::vector<float>(samples, 0.5f)));
    ASSERT_EQ(source.samples.size(), samples);
    EXPECT_EQ(source.samples.back(), 0.5f);
  };
  swapTo(100000);
  swapTo(100002);
  EXPECT_EQ(source.samples.capacity(), 100002u);
  swapTo(100000);  // a little shorter: kept
  EXPECT_EQ(source.samples.capacity(), 100002u);
  swapTo(1000);
  EXPECT_EQ(source.samples.capacity(), 1000u);
  EXPECT_EQ(live.bufferSamples, source.samples.data());
}

}  // namespace
}  // namespace omber

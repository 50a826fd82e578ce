// The session on its own, without the engine's providers: the default
// handshake, the intake's rules for slices that do not merge, and slices
// merged at every placement in the source buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/engine/real_transport.h"
#include "core/server/server_session.h"
#include "link/frame.h"
#include "core/base/half_float.h"
#include "server/server_messages.h"
#include "support/recording_outlet.h"

namespace omber::server {
using namespace omber::base;
using namespace omber::live;
using namespace omber::engine;
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::halves;
using testing::rawSlice;
using testing::Recorder;

constexpr std::size_t kSourceFrames = 4096;

// Halves of a slice: ordinary values with infinities, signalling and quiet
// NaNs, subnormals and negative zero mixed in.
std::vector<std::uint16_t> sliceHalves(std::size_t count) {
  static const std::uint16_t special[] = {0x7C01, 0x0001, 0x8000, 0x7C00, 0x03FF, 0xFE00, 0xFC00};
  std::vector<std::uint16_t> out(count);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] =
        i % 7 == 2 ? special[(i / 7) % 7] : static_cast<std::uint16_t>(0x2C00 + (i * 13) % 0x1000 + ((i & 2) << 14));
  }
  return out;
}

Bytes littleEndian(const std::vector<std::uint16_t>& halves) {
  Bytes out;
  for (const std::uint16_t h : halves) {
    out.push_back(static_cast<std::uint8_t>(h));
    out.push_back(static_cast<std::uint8_t>(h >> 8));
  }
  return out;
}

Bytes bytesOfFloats(const float* values, std::size_t count) {
  Bytes out(count * sizeof(float));
  std::memcpy(out.data(), values, out.size());
  return out;
}

class SliceIntakeTest : public ::testing::Test {
 protected:
  SliceIntakeTest() { live.transport = &transport; }

  void text(std::string_view t) {
    const Bytes b = bytesOf(t);
    session.onData(b.data(), b.size(), false);
  }
  void binary(const Bytes& b) { session.onData(b.data(), b.size(), true); }

  // Ready, then a stereo source of 4 frames holding 0.
  void streaming() { streamingFrom(std::vector<float>(8, 0.0f)); }

  // Ready with a zstd decoder, then a stereo source of kSourceFrames frames
  // holding 0.25.
  void streamingAt025() {
    streamingFrom(std::vector<float>(2 * kSourceFrames, 0.25f));
    session.setSliceDecompressor(zstdSliceDecompressor());
  }

  // Ready, then a stereo source holding `samples`.
  void streamingFrom(const std::vector<float>& samples) {
    session.onOpen();
    text(R"({"type":"ready","source_epoch":2})");
    binary(halves(samples));
    recorder.clear();
  }

  // The whole link frame of the one Patch sent since the last clear.
  Bytes onlyPatchFrame() {
    const auto writes = recorder.with("ext:write");
    if (writes.size() != 1) {
      ADD_FAILURE() << writes.size() << " frames sent";
      return {};
    }
    EXPECT_EQ(writes[0].text(0), "players");
    return writes[0].bytes(1);
  }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  SourceBuffer source;
  ServerSession session{transport, live, source, [] { return std::int32_t{2}; }};
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

// The frame bytes written out by hand: length 21 (type, start frame, four
// samples), type 2, start frame 1, then the samples as little-endian floats.
TEST_F(SliceIntakeTest, APatchCarriesTheMergedSamplesForReplacingAndAddingSlices) {
  streamingFrom({0, 0, 0.5f, 0.5f, 0.25f, -1, 0, 0});
  binary(rawSlice(1, {1, -2, 0.5f, 3}));
  EXPECT_EQ(source.samples, (std::vector<float>{0, 0, 1, -2, 0.5f, 3, 0, 0}));
  EXPECT_EQ(onlyPatchFrame(), (Bytes{21,   0,    0,    0,    2, 1, 0, 0, 0,  //
                                     0x00, 0x00, 0x80, 0x3f,                 // 1
                                     0x00, 0x00, 0x00, 0xc0,                 // -2
                                     0x00, 0x00, 0x00, 0x3f,                 // 0.5
                                     0x00, 0x00, 0x40, 0x40}));              // 3

  recorder.clear();
  session.setSliceDecompressor(zstdSliceDecompressor());
  binary(testing::differenceSlice(1, {1, 1, 1, 1}));
  EXPECT_EQ(source.samples, (std::vector<float>{0, 0, 2, -1, 1.5f, 4, 0, 0}));
  EXPECT_EQ(onlyPatchFrame(), (Bytes{21,   0,    0,    0,    2, 1, 0, 0, 0,  //
                                     0x00, 0x00, 0x00, 0x40,                 // 2
                                     0x00, 0x00, 0x80, 0xbf,                 // -1
                                     0x00, 0x00, 0xc0, 0x3f,                 // 1.5
                                     0x00, 0x00, 0x80, 0x40}));              // 4
}

// A slice longer than the intake's merge step, with an odd sample count: all
// of it is merged, its whole stereo frames are sent, and the frame matches
// the one encoded from the merged buffer.
TEST_F(SliceIntakeTest, ALongSliceIsMergedAndSentWhole) {
  const std::size_t sourceSamples = 12000, start = 100, sliceSamples = 5001;
  std::vector<float> initial(sourceSamples);
  for (std::size_t i = 0; i < sourceSamples; ++i) initial[i] = static_cast<float>(i % 32) * 0.5f;
  std::vector<float> values(sliceSamples);
  for (std::size_t i = 0; i < sliceSamples; ++i) values[i] = static_cast<float>(i % 64) * 0.25f - 8;
  streamingFrom(initial);

  binary(rawSlice(start, values));
  std::vector<float> expected = initial;
  std::copy(values.begin(), values.end(), expected.begin() + 2 * start);
  EXPECT_EQ(source.samples, expected);
  EXPECT_EQ(onlyPatchFrame(), link::encodePatch(start, expected.data() + 2 * start, sliceSamples / 2));

  recorder.clear();
  session.setSliceDecompressor(zstdSliceDecompressor());
  binary(testing::differenceSlice(start, values));
  for (std::size_t i = 0; i < sliceSamples; ++i) expected[2 * start + i] += values[i];
  EXPECT_EQ(source.samples, expected);
  EXPECT_EQ(onlyPatchFrame(), link::encodePatch(start, expected.data() + 2 * start, sliceSamples / 2));
}

TEST_F(SliceIntakeTest, PlayersOfAnotherGenerationGetNoPatchButTheBufferIsMerged) {
  streaming();
  live.playback().start(2, 9);  // the players still hold another source
  recorder.clear();
  binary(rawSlice(0, {1, 2}));
  EXPECT_EQ(source.samples, (std::vector<float>{1, 2, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(recorder.with("ext:write").empty());
}

TEST_F(SliceIntakeTest, ASingleSampleIsMergedAndSendsAPatchWithoutSamples) {
  streaming();
  binary(rawSlice(2, {1}));
  EXPECT_EQ(source.samples, (std::vector<float>{0, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(onlyPatchFrame(), (Bytes{5, 0, 0, 0, 2, 2, 0, 0, 0}));
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
  EXPECT_EQ(live.playback().bufferSamples(), source.samples.data());
}

// ---- slices at every placement in the source buffer ----
// The merge widens into the buffer from wherever the start frame puts it, with vector steps that begin
// at a boundary of their own, and copies each merged block into the Patch
// frame. Whatever the placement, the buffer holds the exact widening (NaN
// payloads and all) and the frame carries exactly the buffer's bytes.

// Start frames 0 to 7 put the merge at every 8-byte offset from a 64-byte
// boundary; 2,049 samples run past one merge block into a second, with an
// odd sample that the stereo frame leaves out.
TEST_F(SliceIntakeTest, EveryStartFrameMergesExactlyAndSendsTheBufferBytes) {
  streamingAt025();
  const std::size_t count = 2049;
  const std::vector<std::uint16_t> halves = sliceHalves(count);
  for (std::uint32_t start = 0; start < 8; ++start) {
    std::vector<float> expected = source.samples;
    for (std::size_t i = 0; i < count; ++i) expected[2 * start + i] = halfToFloat(halves[i]);

    recorder.clear();
    binary(testing::slice(0, start, littleEndian(halves)));
    ASSERT_EQ(bytesOfFloats(source.samples.data(), source.samples.size()),
              bytesOfFloats(expected.data(), expected.size()))
        << "replace at frame " << start;
    EXPECT_EQ(onlyPatchFrame(), link::encodePatch(start, expected.data() + 2 * start, count / 2)) << start;
  }
}

// Adding: the buffer gets buffer + widening (sums of NaNs are NaNs, whose
// exact bits the hardware chooses: the frame is compared with the buffer).
TEST_F(SliceIntakeTest, EveryStartFrameAddsExactlyAndSendsTheBufferBytes) {
  streamingAt025();
  const std::size_t count = 2049;
  const std::vector<std::uint16_t> halves = sliceHalves(count);
  for (std::uint32_t start = 0; start < 8; ++start) {
    const std::vector<float> before = source.samples;
    recorder.clear();
    binary(testing::slice(1, start, testing::zstdFrame(littleEndian(halves))));
    for (std::size_t i = 0; i < source.samples.size(); ++i) {
      const bool inSlice = i >= 2 * start && i < 2 * start + count;
      const float want = inSlice ? before[i] + halfToFloat(halves[i - 2 * start]) : before[i];
      if (std::isnan(want)) {
        ASSERT_TRUE(std::isnan(source.samples[i])) << "add at frame " << start << ", sample " << i;
      } else {
        ASSERT_EQ(bytesOfFloats(&source.samples[i], 1), bytesOfFloats(&want, 1))
            << "add at frame " << start << ", sample " << i;
      }
    }
    EXPECT_EQ(onlyPatchFrame(), link::encodePatch(start, source.samples.data() + 2 * start, count / 2)) << start;
    // Infinities and NaNs stay in the buffer from here on; start clean.
    source.samples.assign(source.samples.size(), 0.25f);
  }
}

}  // namespace
}  // namespace omber::server

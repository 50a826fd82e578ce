// Slices at every placement in the source buffer: the merge widens into the
// buffer from wherever the start frame puts it, with vector steps that begin
// at a boundary of their own, and copies each merged block into the Patch
// frame. Whatever the placement, the buffer holds the exact widening (NaN
// payloads and all) and the frame carries exactly the buffer's bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/engine/real_transport.h"
#include "core/base/half_float.h"
#include "core/server/server_session.h"
#include "link/frame.h"
#include "server/server_messages.h"
#include "support/recording_outlet.h"

namespace omber::server {
using namespace omber::base;
using namespace omber::engine;
using namespace omber::live;
namespace {

using testing::Bytes;
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

class SliceIntakePlacementTest : public ::testing::Test {
 protected:
  SliceIntakePlacementTest() { live.transport = &transport; }

  // Ready, then a stereo source of kSourceFrames frames holding 0.25.
  void streaming() {
    session.onOpen();
    const Bytes ready = testing::bytesOf(R"({"type":"ready","source_epoch":2})");
    session.onData(ready.data(), ready.size(), false);
    const Bytes initial = testing::halves(std::vector<float>(2 * kSourceFrames, 0.25f));
    session.onData(initial.data(), initial.size(), true);
    session.setSliceDecompressor(zstdSliceDecompressor());
    recorder.clear();
  }

  void send(const Bytes& message) {
    recorder.clear();
    session.onData(message.data(), message.size(), true);
  }

  Bytes patchFrame() {
    const auto writes = recorder.with("ext:write");
    if (writes.size() != 1) {
      ADD_FAILURE() << writes.size() << " frames sent";
      return {};
    }
    return writes[0].bytes(1);
  }

  Recorder recorder;
  RealTransport transport{recorder.outlet()};
  LiveAudioPath live;
  SourceBuffer source;
  ServerSession session{transport, live, source, [] { return std::int32_t{2}; }};
};

// Start frames 0 to 7 put the merge at every 8-byte offset from a 64-byte
// boundary; 2,049 samples run past one merge block into a second, with an
// odd sample that the stereo frame leaves out.
TEST_F(SliceIntakePlacementTest, EveryStartFrameMergesExactlyAndSendsTheBufferBytes) {
  streaming();
  const std::size_t count = 2049;
  const std::vector<std::uint16_t> halves = sliceHalves(count);
  for (std::uint32_t start = 0; start < 8; ++start) {
    std::vector<float> expected = source.samples;
    for (std::size_t i = 0; i < count; ++i) expected[2 * start + i] = halfToFloat(halves[i]);

    send(testing::slice(0, start, littleEndian(halves)));
    ASSERT_EQ(bytesOfFloats(source.samples.data(), source.samples.size()),
              bytesOfFloats(expected.data(), expected.size()))
        << "replace at frame " << start;
    EXPECT_EQ(patchFrame(), link::encodePatch(start, expected.data() + 2 * start, count / 2)) << start;
  }
}

// Adding: the buffer gets buffer + widening (sums of NaNs are NaNs, whose
// exact bits the hardware chooses: the frame is compared with the buffer).
TEST_F(SliceIntakePlacementTest, EveryStartFrameAddsExactlyAndSendsTheBufferBytes) {
  streaming();
  const std::size_t count = 2049;
  const std::vector<std::uint16_t> halves = sliceHalves(count);
  for (std::uint32_t start = 0; start < 8; ++start) {
    const std::vector<float> before = source.samples;
    send(testing::slice(1, start, testing::zstdFrame(littleEndian(halves))));
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
    EXPECT_EQ(patchFrame(), link::encodePatch(start, source.samples.data() + 2 * start, count / 2)) << start;
    // Infinities and NaNs stay in the buffer from here on; start clean.
    source.samples.assign(source.samples.size(), 0.25f);
  }
}

}  // namespace
}  // namespace omber::server

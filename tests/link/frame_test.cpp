#include "link/frame.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace omber::link {
namespace {

struct Seen {
  std::uint8_t type;
  std::vector<std::uint8_t> payload;
  bool operator==(const Seen& o) const { return type == o.type && payload == o.payload; }
};

FrameReader recorder(std::vector<Seen>& seen) {
  return FrameReader([&seen](std::uint8_t type, const std::uint8_t* p, std::uint64_t n) {
    seen.push_back({type, std::vector<std::uint8_t>(p, p + n)});
  });
}

TEST(FrameCodec, FlagFrameBytes) {
  EXPECT_EQ(encodeFlag(FrameType::Capture, true), (std::vector<std::uint8_t>{2, 0, 0, 0, 7, 1}));
}

TEST(FrameCodec, TokenFrameCarriesTheTokenBytesWithoutTerminator) {
  EXPECT_EQ(encodeToken("a0f"), (std::vector<std::uint8_t>{4, 0, 0, 0, 0x83, 'a', '0', 'f'}));
  const std::string longest(kMaxTokenBytes, 'e');
  const auto frame = encodeToken(longest);
  ASSERT_EQ(frame.size(), kHeaderBytes + 64);
  EXPECT_EQ(getU32(frame.data()), 65u);
  EXPECT_EQ(std::string(frame.begin() + kHeaderBytes, frame.end()), longest);
}

TEST(FrameReader, EverySplitPointGivesTheSameFrames) {
  std::vector<std::uint8_t> stream;
  for (auto f :
       {encodeSeek(1.5), encodeFlag(FrameType::Loop, false), encodeFrame(9, nullptr, 0), encodeHello(1, 44100, 2)}) {
    stream.insert(stream.end(), f.begin(), f.end());
  }
  std::vector<Seen> whole;
  auto r = recorder(whole);
  ASSERT_TRUE(r.feed(stream.data(), stream.size()));
  ASSERT_EQ(whole.size(), 4u);
  for (std::size_t a = 0; a <= stream.size(); ++a) {
    for (std::size_t b = a; b <= stream.size(); ++b) {
      std::vector<Seen> split;
      auto s = recorder(split);
      ASSERT_TRUE(s.feed(stream.data(), a));
      ASSERT_TRUE(s.feed(stream.data() + a, b - a));
      ASSERT_TRUE(s.feed(stream.data() + b, stream.size() - b));
      ASSERT_EQ(split, whole) << "split at " << a << "," << b;
      EXPECT_EQ(s.buffered(), 0u);
    }
  }
}

TEST(FrameReader, BadLengthFailsAsSoonAsItsFourBytesArrive) {
  std::vector<Seen> seen;
  auto r = recorder(seen);
  const std::uint8_t zero[] = {0, 0};
  ASSERT_TRUE(r.feed(zero, 2));
  EXPECT_FALSE(r.feed(zero, 2));
  EXPECT_TRUE(r.failed());

  FrameReader engineSide([](std::uint8_t, const std::uint8_t*, std::uint64_t) {});
  const std::uint8_t tooLong[] = {0x01, 0x00, 0x00, 0x10};  // cap + 1
  try {
    engineSide.feedOrThrow(tooLong, 4);
    FAIL() << "expected bad frame len";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "bad frame len");
  }

  FrameReader atCap([](std::uint8_t, const std::uint8_t*, std::uint64_t) {});
  const std::uint8_t cap[] = {0x00, 0x00, 0x00, 0x10, 1};
  EXPECT_TRUE(atCap.feed(cap, sizeof cap));
  EXPECT_EQ(atCap.buffered(), sizeof cap);
}

std::vector<std::uint8_t> lengthBytes(std::uint32_t length) {
  return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

// Lengths at and around the limits, each announced after a valid frame and
// fed one byte at a time: the valid ones wait, the invalid ones fail on their
// fourth byte and never reach the handler.
TEST(FrameReader, LengthLimits) {
  for (std::uint32_t length : {0u, 1u, kMaxFrameLength, kMaxFrameLength + 1, 0xFFFFFFFFu}) {
    std::vector<Seen> seen;
    auto r = recorder(seen);
    auto stream = encodeFlag(FrameType::Run, true);
    const auto header = lengthBytes(length);
    stream.insert(stream.end(), header.begin(), header.end());
    stream.push_back(0x42);
    const bool valid = length != 0 && length <= kMaxFrameLength;
    for (std::size_t i = 0; i < stream.size(); ++i) {
      const bool ok = r.feed(&stream[i], 1);
      const bool lengthComplete = i >= 6 + 3;
      EXPECT_EQ(ok, valid || !lengthComplete) << length << " byte " << i;
    }
    ASSERT_GE(seen.size(), 1u);
    EXPECT_EQ(seen[0], (Seen{8, {1}}));
    if (length == 1) {
      ASSERT_EQ(seen.size(), 2u);
      EXPECT_EQ(seen[1], (Seen{0x42, {}}));  // empty payload
    } else {
      EXPECT_EQ(seen.size(), 1u) << length;
    }
    EXPECT_EQ(r.failed(), !valid);
  }
}

TEST(FrameReader, FrameOfTheLargestLengthArrivesWhole) {
  std::uint64_t handed = 0, calls = 0;
  std::uint8_t lastByte = 0;
  FrameReader r([&](std::uint8_t type, const std::uint8_t* p, std::uint64_t n) {
    ++calls;
    handed = n;
    lastByte = static_cast<std::uint8_t>(type ^ p[n - 1]);
  });
  std::vector<std::uint8_t> chunk(65536, 0x11);
  auto header = lengthBytes(kMaxFrameLength);
  std::copy(header.begin(), header.end(), chunk.begin());
  std::uint64_t left = kLengthBytes + std::uint64_t{kMaxFrameLength};
  for (bool first = true; left > 0; first = false) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    ASSERT_TRUE(r.feed(chunk.data(), n));
    if (first) std::fill(chunk.begin(), chunk.begin() + 4, 0x11);
    left -= n;
  }
  EXPECT_EQ(calls, 1u);
  EXPECT_EQ(handed, kMaxFrameLength - 1u);
  EXPECT_EQ(lastByte, 0x11 ^ 0x11);
  EXPECT_EQ(r.buffered(), 0u);
}

// A peer may announce the largest frame and send little of it: the reader
// holds room for about what arrived, not for what was announced.
TEST(FrameReader, RoomGrowsWithTheBytesThatArriveNotWithTheAnnouncedLength) {
  FrameReader r(nullptr);
  std::vector<std::uint8_t> start = lengthBytes(kMaxFrameLength);
  start.resize(100, 0x22);
  ASSERT_TRUE(r.feed(start.data(), start.size()));
  EXPECT_EQ(r.buffered(), 100u);
  EXPECT_LE(r.capacity(), 65536u);
  const std::vector<std::uint8_t> chunk(65536, 0x33);
  for (int i = 0; i < 64; ++i) {
    ASSERT_TRUE(r.feed(chunk.data(), chunk.size()));
    EXPECT_LE(r.capacity(), 2 * r.buffered() + 65536) << i;
  }
  EXPECT_EQ(r.buffered(), 100u + 64 * 65536);
}

// The room never exceeds the frame being collected, even when doubling
// would: a 100,000-byte frame arriving in pieces ends in a buffer of at
// most its own size.
TEST(FrameReader, RoomStopsAtTheFrameItCollects) {
  std::uint64_t handed = 0;
  FrameReader r([&](std::uint8_t, const std::uint8_t*, std::uint64_t n) { handed = n; });
  const std::vector<std::uint8_t> payload(100000 - kHeaderBytes, 0x44);
  const auto frame = encodeFrame(9, payload.data(), payload.size());
  for (std::size_t at = 0; at < frame.size(); at += 7000) {
    ASSERT_TRUE(r.feed(frame.data() + at, std::min<std::size_t>(7000, frame.size() - at)));
  }
  EXPECT_EQ(handed, payload.size());
  EXPECT_LE(r.capacity(), frame.size());
}

TEST(FrameReader, TwoFramesAndAPartialThird) {
  std::vector<Seen> seen;
  auto r = recorder(seen);
  std::vector<std::uint8_t> chunk = encodeSeek(2.0);
  const auto patch = encodePatch(7, nullptr, 0);
  chunk.insert(chunk.end(), patch.begin(), patch.end());
  const auto third = encodePosition(1.0, 3);
  chunk.insert(chunk.end(), third.begin(), third.begin() + 3);
  ASSERT_TRUE(r.feed(chunk.data(), chunk.size()));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(r.buffered(), 3u);
  ASSERT_TRUE(r.feed(third.data() + 3, third.size() - 3));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].type, static_cast<std::uint8_t>(FrameType::Position));
  EXPECT_EQ(getF64(seen[2].payload.data()), 1.0);
  EXPECT_EQ(getI32(seen[2].payload.data() + 8), 3);
}

TEST(FrameReader, HandlerFailuresEndTheReader) {
  const auto frames = [] {
    auto s = encodeFlag(FrameType::Loop, true);
    auto t = encodeFlag(FrameType::Loop, false);
    s.insert(s.end(), t.begin(), t.end());
    return s;
  }();
  int calls = 0;
  FrameReader throwing([&](std::uint8_t, const std::uint8_t*, std::uint64_t) {
    ++calls;
    throw std::runtime_error("handler");
  });
  EXPECT_THROW(throwing.feedOrThrow(frames.data(), frames.size()), std::runtime_error);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(throwing.failed());
  EXPECT_FALSE(throwing.feed(frames.data(), frames.size()));
  EXPECT_EQ(calls, 1);

  // Feeding the reader from its own handler is refused, not half-done.
  FrameReader* self = nullptr;
  bool innerResult = true;
  FrameReader reentrant([&](std::uint8_t, const std::uint8_t* p, std::uint64_t n) {
    ++calls;
    innerResult = self->feed(p, static_cast<std::size_t>(n));
  });
  self = &reentrant;
  calls = 0;
  EXPECT_FALSE(reentrant.feed(frames.data(), frames.size()));
  EXPECT_FALSE(innerResult);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(reentrant.failed());

  FrameReader silent(nullptr);  // an empty handler drops frames
  EXPECT_TRUE(silent.feed(frames.data(), frames.size()));
}

TEST(FrameCodec, TypedFramesLayOutTheirPayloads) {
  const float samples[] = {1.0f, -1.0f, 0.5f, 0.25f, 9.0f};
  const auto init = encodeBuffer(FrameType::Init, samples, 5, 2, 48000);
  ASSERT_EQ(init.size(), 5u + 10u + 20u);
  EXPECT_EQ(getU32(init.data()), 1u + 10u + 20u);
  EXPECT_EQ(init[4], 1);
  EXPECT_EQ(getU32(init.data() + 5), 48000u);
  EXPECT_EQ(getU16(init.data() + 9), 2);
  EXPECT_EQ(getU32(init.data() + 11), 2u);  // frames = 5 / 2
  const auto swap = encodeBuffer(FrameType::Swap, samples, 3, 0, 48000);
  EXPECT_EQ(getU16(swap.data() + 9), 1);  // channels clamped to 1
  EXPECT_EQ(getU32(swap.data() + 11), 3u);
  const auto hello = encodeHello(kRoleFeeder, 44100, 2);
  EXPECT_EQ(hello, (std::vector<std::uint8_t>{8, 0, 0, 0, 0x80, 1, 0x44, 0xAC, 0, 0, 2, 0}));
  const auto band = encodeBand(1.5, -1.0);
  EXPECT_EQ(getF64(band.data() + 5), 1.5);
  EXPECT_EQ(getF64(band.data() + 13), -1.0);
  const auto pcm = encodeCapturePcm(samples, 2);
  EXPECT_EQ(getU32(pcm.data() + 5), 2u);
  EXPECT_EQ(pcm.size(), 5u + 4u + 16u);
}

}  // namespace
}  // namespace omber::link

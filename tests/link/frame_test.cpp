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

TEST(FrameReader, EverySplitPointGivesTheSameFrames) {
  std::vector<std::uint8_t> stream;
  for (auto f : {encodeSeek(1.5), encodeFlag(FrameType::Loop, false), encodeFrame(9, nullptr, 0),
                 encodeHello(1, 44100, 2)}) {
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

}  // namespace
}  // namespace omber::link

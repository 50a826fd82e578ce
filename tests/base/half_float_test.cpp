#include "core/base/half_float.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#include "support/files.h"

namespace omber::base {
namespace {

std::uint32_t bitsOf(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// The exact binary32 pattern of every binary16 pattern: finite non-negative
// values from the reference corpus, negatives by the sign bit, and infinities
// and NaNs by rule (exponent all ones, payload shifted left by 13).
std::vector<std::uint32_t> expectedWidening() {
  std::vector<std::uint32_t> expected(65536);
  std::istringstream lines(
      testing::readText(testing::conformancePath("float-parse-number-fxx/exhaustive-float16.txt")));
  int finite = 0;
  for (std::string line; std::getline(lines, line) && finite < 0x7C00; ++finite) {
    const auto half = std::stoul(line.substr(0, 4), nullptr, 16);
    EXPECT_EQ(half, static_cast<unsigned long>(finite));
    expected[half] = static_cast<std::uint32_t>(std::stoul(line.substr(5, 8), nullptr, 16));
  }
  EXPECT_EQ(finite, 0x7C00);
  for (std::uint32_t h = 0x7C00; h <= 0x7FFF; ++h) expected[h] = 0x7F800000u | ((h & 0x3FFu) << 13);
  for (std::uint32_t h = 0; h < 0x8000; ++h) expected[h | 0x8000] = expected[h] | 0x80000000u;
  return expected;
}

std::vector<std::uint8_t> allPatternsLittleEndian() {
  std::vector<std::uint8_t> bytes(2 * 65536);
  for (std::uint32_t h = 0; h < 65536; ++h) {
    bytes[2 * h] = static_cast<std::uint8_t>(h);
    bytes[2 * h + 1] = static_cast<std::uint8_t>(h >> 8);
  }
  return bytes;
}

TEST(HalfFloat, EveryPatternWidensExactlyWithEveryKernel) {
  const auto expected = expectedWidening();
  for (std::uint32_t h = 0; h < 65536; ++h) {
    ASSERT_EQ(bitsOf(halfToFloat(static_cast<std::uint16_t>(h))), expected[h]) << std::hex << h;
  }
  // Bulk kernels, from an odd address so no alignment is assumed, and with a
  // count that leaves a tail for the scalar code.
  std::vector<std::uint8_t> shifted(1);
  const auto bytes = allPatternsLittleEndian();
  shifted.insert(shifted.end(), bytes.begin(), bytes.end());
  for (HalfKernel kernel : {HalfKernel::Portable, HalfKernel::F16c}) {
    for (std::size_t count : {std::size_t{65536}, std::size_t{65531}}) {
      std::vector<float> out(count + 1, 42.0f);
      widenHalvesWith(kernel, shifted.data() + 1, count, out.data());
      for (std::size_t h = 0; h < count; ++h) {
        ASSERT_EQ(bitsOf(out[h]), expected[h]) << "kernel " << static_cast<int>(kernel) << " " << std::hex << h;
      }
      EXPECT_EQ(out[count], 42.0f) << "wrote past the end";
    }
  }
  std::vector<float> out(65536);
  widenHalves(bytes.data(), 65536, out.data());
  for (std::size_t h = 0; h < 65536; ++h) ASSERT_EQ(bitsOf(out[h]), expected[h]) << std::hex << h;
}

TEST(HalfFloat, NamedPatterns) {
  EXPECT_EQ(halfToFloat(0x3C00), 1.0f);
  EXPECT_EQ(halfToFloat(0xC000), -2.0f);
  EXPECT_EQ(halfToFloat(0x0001), std::ldexp(1.0f, -24));
  EXPECT_EQ(halfToFloat(0x7C00), INFINITY);
  EXPECT_EQ(bitsOf(halfToFloat(0x7E00)), 0x7FC00000u);  // quiet NaN
  EXPECT_EQ(bitsOf(halfToFloat(0x7C01)), 0x7F802000u);  // signalling NaN stays signalling
  EXPECT_EQ(bitsOf(halfToFloat(0x8000)), 0x80000000u);
}

// The bulk kernel tests whole steps of values at once: one signalling NaN
// anywhere in a step of ordinary values must still come out signalling, and
// its neighbours exact, in the long steps and in the short tail steps.
TEST(HalfFloat, ALoneSignallingNaNIsKeptAtEveryPositionOfAStep) {
  constexpr std::size_t kCount = 45;  // one step of 32, one of 8, 5 scalar values
  for (std::size_t at = 0; at < kCount; ++at) {
    std::vector<std::uint8_t> bytes(2 * kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
      const std::uint16_t h = i == at ? 0x7C01 : static_cast<std::uint16_t>(0x3C00 + i);
      bytes[2 * i] = static_cast<std::uint8_t>(h);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(h >> 8);
    }
    std::vector<float> out(kCount);
    widenHalvesWith(HalfKernel::F16c, bytes.data(), kCount, out.data());
    for (std::size_t i = 0; i < kCount; ++i) {
      const std::uint16_t h = i == at ? 0x7C01 : static_cast<std::uint16_t>(0x3C00 + i);
      ASSERT_EQ(bitsOf(out[i]), bitsOf(halfToFloat(h))) << "NaN at " << at << ", value " << i;
    }
  }
}

TEST(HalfFloat, WidenAndAddEqualsWideningThenAdding) {
  const auto bytes = allPatternsLittleEndian();
  std::vector<float> base(65536);
  for (std::size_t i = 0; i < base.size(); ++i) base[i] = static_cast<float>(i % 97) * 0.25f - 12.0f;
  for (HalfKernel kernel : {HalfKernel::Portable, HalfKernel::F16c}) {
    std::vector<float> sum = base;
    widenHalvesAddWith(kernel, bytes.data(), 65535, sum.data());
    for (std::size_t h = 0; h < 65535; ++h) {
      const float want = base[h] + halfToFloat(static_cast<std::uint16_t>(h));
      if (std::isnan(want)) {
        ASSERT_TRUE(std::isnan(sum[h])) << std::hex << h;
      } else {
        ASSERT_EQ(bitsOf(sum[h]), bitsOf(want)) << std::hex << h;
      }
    }
    EXPECT_EQ(sum[65535], base[65535]) << "wrote past the end";
  }
  std::vector<float> twice(4, 1.0f);
  const std::uint8_t half[] = {0x00, 0x3C, 0x00, 0xC0, 0x00, 0x38, 0x00, 0x00};  // 1, -2, 0.5, 0
  widenHalvesAdd(half, 4, twice.data());
  widenHalvesAdd(half, 4, twice.data());
  EXPECT_EQ(twice, (std::vector<float>{3.0f, -3.0f, 2.0f, 1.0f}));
}

// ---- the bulk kernels ----
// The widening kernels at every placement they meet in the intake: a
// destination anywhere relative to a vector boundary (a slice may start at
// any frame of the source buffer), an input at an odd address (the payload
// follows a 23-byte header), and counts around each step size, so the
// alignment prologue, the vector steps and the tail all run and meet.

// Ordinary values with the hard cases sprinkled in at positions that fall
// into the prologue, the vector steps and the tail: signalling and quiet
// NaNs, infinities, subnormals, both zeros.
std::uint16_t patternAt(std::size_t i) {
  static const std::uint16_t special[] = {0x7C01, 0x0001, 0x8000, 0x7C00, 0x03FF, 0xFE00, 0x83FF, 0xFC00, 0x7DFF};
  if (i % 5 == 3) return special[(i / 5) % (sizeof special / sizeof special[0])];
  return static_cast<std::uint16_t>(0x3000 + 37 * i) ^ static_cast<std::uint16_t>((i & 1) << 15);
}

// `count` little-endian halves starting at byte `offset` of the result.
std::vector<std::uint8_t> halvesAt(std::size_t offset, std::size_t count) {
  std::vector<std::uint8_t> bytes(offset + 2 * count, 0xAB);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[offset + 2 * i] = static_cast<std::uint8_t>(patternAt(i));
    bytes[offset + 2 * i + 1] = static_cast<std::uint8_t>(patternAt(i) >> 8);
  }
  return bytes;
}

const std::size_t kCounts[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 39, 40, 41, 63, 64, 65, 100, 257};
constexpr std::size_t kGuard = 16;  // floats before and after the destination
constexpr float kGuardValue = 42.0f;

TEST(HalfFloatKernels, WideningIsExactAtEveryDestinationOffsetAndCount) {
  for (HalfKernel kernel : {HalfKernel::Portable, HalfKernel::F16c}) {
    for (std::size_t inputOffset : {0u, 1u}) {
      for (std::size_t shift = 0; shift < 16; ++shift) {
        for (std::size_t count : kCounts) {
          const auto bytes = halvesAt(inputOffset, count);
          std::vector<float> out(kGuard + shift + count + kGuard, kGuardValue);
          widenHalvesWith(kernel, bytes.data() + inputOffset, count, out.data() + kGuard + shift);
          for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(bitsOf(out[kGuard + shift + i]), bitsOf(halfToFloat(patternAt(i))))
                << "kernel " << static_cast<int>(kernel) << " shift " << shift << " count " << count << " at " << i;
          }
          for (std::size_t i = 0; i < kGuard + shift; ++i) ASSERT_EQ(out[i], kGuardValue) << "wrote before, " << count;
          for (std::size_t i = kGuard + shift + count; i < out.size(); ++i) {
            ASSERT_EQ(out[i], kGuardValue) << "wrote past the end, " << count;
          }
        }
      }
    }
  }
}

TEST(HalfFloatKernels, AddingIsExactAtEveryDestinationOffsetAndCount) {
  for (HalfKernel kernel : {HalfKernel::Portable, HalfKernel::F16c}) {
    for (std::size_t shift = 0; shift < 16; ++shift) {
      for (std::size_t count : kCounts) {
        const auto bytes = halvesAt(1, count);
        std::vector<float> buffer(kGuard + shift + count + kGuard, kGuardValue);
        for (std::size_t i = 0; i < count; ++i) buffer[kGuard + shift + i] = static_cast<float>(i % 11) - 5.5f;
        const std::vector<float> before = buffer;
        widenHalvesAddWith(kernel, bytes.data() + 1, count, buffer.data() + kGuard + shift);
        for (std::size_t i = 0; i < count; ++i) {
          const float want = before[kGuard + shift + i] + halfToFloat(patternAt(i));
          const float got = buffer[kGuard + shift + i];
          if (std::isnan(want)) {
            ASSERT_TRUE(std::isnan(got)) << "shift " << shift << " count " << count << " at " << i;
          } else {
            ASSERT_EQ(bitsOf(got), bitsOf(want))
                << "kernel " << static_cast<int>(kernel) << " shift " << shift << " count " << count << " at " << i;
          }
        }
        for (std::size_t i = 0; i < kGuard + shift; ++i) ASSERT_EQ(buffer[i], kGuardValue) << "wrote before";
        for (std::size_t i = kGuard + shift + count; i < buffer.size(); ++i) {
          ASSERT_EQ(buffer[i], kGuardValue) << "wrote past the end";
        }
      }
    }
  }
}

// The portable kernel computes subnormals with a float subtraction; it must
// stay exact whatever rounding mode the host thread runs in.
TEST(HalfFloatKernels, PortableSubnormalsDoNotDependOnTheRoundingMode) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t h = 0; h < 0x400; ++h) {
    for (std::uint32_t sign : {0u, 0x8000u}) {
      bytes.push_back(static_cast<std::uint8_t>(h | sign));
      bytes.push_back(static_cast<std::uint8_t>((h | sign) >> 8));
    }
  }
  const std::size_t count = bytes.size() / 2;
  const int saved = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    std::vector<float> out(count);
    widenHalvesWith(HalfKernel::Portable, bytes.data(), count, out.data());
    std::fesetround(saved);
    for (std::size_t i = 0; i < count; ++i) {
      const auto h = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      ASSERT_EQ(bitsOf(out[i]), bitsOf(halfToFloat(h))) << "mode " << mode << " half " << std::hex << h;
    }
  }
}

}  // namespace
}  // namespace omber::base

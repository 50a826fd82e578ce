// The bulk widening kernels at every placement they meet in the intake: a
// destination anywhere relative to a vector boundary (a slice may start at
// any frame of the source buffer), an input at an odd address (the payload
// follows a 23-byte header), and counts around each step size, so the
// alignment prologue, the vector steps and the tail all run and meet.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/base/half_float.h"

namespace omber::base {
namespace {

std::uint32_t bitsOf(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

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

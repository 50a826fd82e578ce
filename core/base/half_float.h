// Exact widening of IEEE 754 binary16 samples (little-endian bytes, as the
// server sends them) to binary32. Every one of the 65,536 patterns widens
// exactly: zeros keep their sign, subnormals are normalised, infinities stay
// infinities and NaNs keep their payload shifted left by 13, signalling NaNs
// included (the hardware conversion would quiet them; the kernel restores
// them).
//
// All functions are thread-safe, allocation-free and realtime-safe. The bulk
// kernel is chosen once, at first use, from the CPU's features. The bulk
// functions' input bytes and float destination must not overlap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace omber::base {

// One value from its 16 bits.
float halfToFloat(std::uint16_t bits);

// out[i] = the i-th little-endian binary16 value of `bytes`, for
// sampleCount values (2 x sampleCount bytes are read). `out` may be any
// float destination, such as a region of the source buffer.
void widenHalves(const std::uint8_t* bytes, std::size_t sampleCount, float* out);

// inOut[i] += the i-th binary16 value: merges a decoded difference straight
// into a buffer without a temporary. Each sum is the single-precision sum of
// the buffer value and the exact widening (a NaN wherever either is a NaN).
void widenHalvesAdd(const std::uint8_t* bytes, std::size_t sampleCount, float* inOut);

// The kernels, selectable for tests and benchmarks. F16c needs the F16C and
// AVX instructions; asking for it on a CPU without them uses Portable, which
// is branch-free C++ that compilers vectorise for any target.
enum class HalfKernel { Portable, F16c };
HalfKernel bestHalfKernel();
void widenHalvesWith(HalfKernel kernel, const std::uint8_t* bytes, std::size_t sampleCount, float* out);
void widenHalvesAddWith(HalfKernel kernel, const std::uint8_t* bytes, std::size_t sampleCount, float* inOut);

}  // namespace omber::base

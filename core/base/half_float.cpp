#include "core/base/half_float.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define OMBER_HAVE_F16C_KERNEL 1
#endif

namespace omber::base {
namespace {

float floatFromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

std::uint32_t bitsOfFloat(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// All ones for true, zero for false. Negated as a signed value: the unsigned
// subtraction 0 - 1 would wrap, which the overflow check of our own code
// rejects.
inline std::uint32_t maskOf(bool b) { return static_cast<std::uint32_t>(-static_cast<std::int32_t>(b)); }

inline std::uint32_t loadHalf(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }

// halfToFloat without branches, so that a loop of it vectorises (GCC at -O2
// and Clang do so for SSE2; the scalar loop ran about four times slower). The exponent is rebiased by adding; an
// all-ones exponent (infinity, NaN) gets the rest of the way to all ones, keeping the payload bit for bit; a zero
// exponent (zero, subnormal) is taken as the mantissa over 2^-14 with exponent 113, minus 2^-14, which is exact and a
// normal binary32, so flush-to-zero modes do not change it. Both candidates are computed and one is chosen by masks: a
// conditional expression would stop GCC from vectorising.
inline float widenOne(std::uint32_t half) {
  const std::uint32_t magnitude = (half & 0x7FFFu) << 13;
  const std::uint32_t exponent = magnitude & 0x0F800000u;
  std::uint32_t bits = magnitude + (112u << 23);
  const std::uint32_t allOnes = maskOf(exponent == 0x0F800000u);
  bits += allOnes & (112u << 23);
  const std::uint32_t zero = maskOf(exponent == 0);
  // The difference is never negative, but rounding downwards gives -0 for
  // a zero mantissa: the sign bit is cleared.
  const std::uint32_t small = bitsOfFloat(floatFromBits(bits + (1u << 23)) - floatFromBits(113u << 23)) & 0x7FFFFFFFu;
  bits = (small & zero) | (bits & ~zero);
  return floatFromBits(bits | ((half & 0x8000u) << 16));
}

// Steps of a fixed 16 values: GCC at -O2 vectorises only loops whose trip
// count needs no scalar remainder.
constexpr std::size_t kPortableStep = 16;

void widenPortable(const std::uint8_t* __restrict bytes, std::size_t count, float* __restrict out) {
  std::size_t i = 0;
  for (; i + kPortableStep <= count; i += kPortableStep) {
    for (std::size_t k = 0; k < kPortableStep; ++k) out[i + k] = widenOne(loadHalf(bytes + 2 * (i + k)));
  }
  for (; i < count; ++i) out[i] = widenOne(loadHalf(bytes + 2 * i));
}

void widenAddPortable(const std::uint8_t* __restrict bytes, std::size_t count, float* __restrict inOut) {
  std::size_t i = 0;
  for (; i + kPortableStep <= count; i += kPortableStep) {
    for (std::size_t k = 0; k < kPortableStep; ++k) {
      inOut[i + k] = inOut[i + k] + widenOne(loadHalf(bytes + 2 * (i + k)));
    }
  }
  for (; i < count; ++i) inOut[i] = inOut[i] + widenOne(loadHalf(bytes + 2 * i));
}

#ifdef OMBER_HAVE_F16C_KERNEL

// Through vcvtph2ps, 32 values per step. The instruction is exact except
// that it quiets signalling NaNs; a step holding any half whose exponent is
// all ones with the quiet bit clear (an infinity or a signalling NaN) is
// widened again by the exact scalar code. Such steps are rare in audio, so
// one combined test and branch per 32 values keeps the loop at the speed of
// a plain copy (a test per 8 values cost almost twice that).
__attribute__((target("avx,f16c"))) inline __m128i notQuietAllOnes(__m128i h) {
  return _mm_cmpeq_epi16(_mm_and_si128(h, _mm_set1_epi16(0x7E00)), _mm_set1_epi16(0x7C00));
}

// Values to widen one by one before `out` reaches a 32-byte boundary. The
// vector steps then store whole halves of cache lines: a store straddling
// two lines costs two line writes, and with a destination 16 bytes off the
// boundary (as malloc gives) every other store straddled: widening alone
// measured about a fifth slower that way, the slice intake up to 7 %.
std::size_t valuesBeforeBoundary(const float* out, std::size_t count) {
  const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(out) & 31u;
  const std::size_t lead = misalignment == 0 ? 0 : (32u - misalignment) / sizeof(float);
  return lead < count ? lead : count;
}

__attribute__((target("avx,f16c"))) void widenF16c(const std::uint8_t* bytes, std::size_t count, float* out) {
  std::size_t i = valuesBeforeBoundary(out, count);
  widenPortable(bytes, i, out);
  for (; i + 32 <= count; i += 32) {
    const auto* in = reinterpret_cast<const __m128i*>(bytes + 2 * i);
    const __m128i h0 = _mm_loadu_si128(in), h1 = _mm_loadu_si128(in + 1);
    const __m128i h2 = _mm_loadu_si128(in + 2), h3 = _mm_loadu_si128(in + 3);
    const __m128i special = _mm_or_si128(_mm_or_si128(notQuietAllOnes(h0), notQuietAllOnes(h1)),
                                         _mm_or_si128(notQuietAllOnes(h2), notQuietAllOnes(h3)));
    if (__builtin_expect(_mm_movemask_epi8(special) != 0, 0)) {
      widenPortable(bytes + 2 * i, 32, out + i);
      continue;
    }
    _mm256_storeu_ps(out + i, _mm256_cvtph_ps(h0));
    _mm256_storeu_ps(out + i + 8, _mm256_cvtph_ps(h1));
    _mm256_storeu_ps(out + i + 16, _mm256_cvtph_ps(h2));
    _mm256_storeu_ps(out + i + 24, _mm256_cvtph_ps(h3));
  }
  for (; i + 8 <= count; i += 8) {
    const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
    if (__builtin_expect(_mm_movemask_epi8(notQuietAllOnes(h)) != 0, 0)) {
      widenPortable(bytes + 2 * i, 8, out + i);
    } else {
      _mm256_storeu_ps(out + i, _mm256_cvtph_ps(h));
    }
  }
  widenPortable(bytes + 2 * i, count - i, out + i);
}

// Adding quiets a NaN whether or not it was signalling, so the sum needs no
// fix-up: buffer + quieted NaN and buffer + signalling NaN give the same bits.
__attribute__((target("avx,f16c"))) void widenAddF16c(const std::uint8_t* bytes, std::size_t count, float* inOut) {
  std::size_t i = valuesBeforeBoundary(inOut, count);
  widenAddPortable(bytes, i, inOut);
  // Four vectors per step: with one, the loop's speed swung by a third
  // with where the linker happened to place it.
  for (; i + 32 <= count; i += 32) {
    const auto* in = reinterpret_cast<const __m128i*>(bytes + 2 * i);
    const __m256 w0 = _mm256_cvtph_ps(_mm_loadu_si128(in)), w1 = _mm256_cvtph_ps(_mm_loadu_si128(in + 1));
    const __m256 w2 = _mm256_cvtph_ps(_mm_loadu_si128(in + 2)), w3 = _mm256_cvtph_ps(_mm_loadu_si128(in + 3));
    _mm256_storeu_ps(inOut + i, _mm256_add_ps(_mm256_loadu_ps(inOut + i), w0));
    _mm256_storeu_ps(inOut + i + 8, _mm256_add_ps(_mm256_loadu_ps(inOut + i + 8), w1));
    _mm256_storeu_ps(inOut + i + 16, _mm256_add_ps(_mm256_loadu_ps(inOut + i + 16), w2));
    _mm256_storeu_ps(inOut + i + 24, _mm256_add_ps(_mm256_loadu_ps(inOut + i + 24), w3));
  }
  for (; i + 8 <= count; i += 8) {
    const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
    _mm256_storeu_ps(inOut + i, _mm256_add_ps(_mm256_loadu_ps(inOut + i), _mm256_cvtph_ps(h)));
  }
  widenAddPortable(bytes + 2 * i, count - i, inOut + i);
}

// "avx" also says the system saves the vector registers. F16C is read from
// CPUID itself: older Clang releases do not know the name "f16c" in
// __builtin_cpu_supports and refuse to compile it.
bool cpuHasF16c() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __builtin_cpu_supports("avx") && __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_F16C) != 0;
  }();
  return has;
}

#else

bool cpuHasF16c() { return false; }

#endif

}  // namespace

float halfToFloat(std::uint16_t h) {
  const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000u) << 16;
  const std::uint32_t exponent = (h >> 10) & 0x1Fu;
  std::uint32_t mantissa = h & 0x3FFu;
  if (exponent == 0x1F) return floatFromBits(sign | 0x7F800000u | (mantissa << 13));  // inf, NaN
  if (exponent != 0) return floatFromBits(sign | ((exponent + 112) << 23) | (mantissa << 13));
  if (mantissa == 0) return floatFromBits(sign);
  // Subnormal: shift until the hidden bit appears, lowering the exponent.
  std::uint32_t e = 113;
  while ((mantissa & 0x400u) == 0) {
    mantissa <<= 1;
    --e;
  }
  return floatFromBits(sign | (e << 23) | ((mantissa & 0x3FFu) << 13));
}

HalfKernel bestHalfKernel() { return cpuHasF16c() ? HalfKernel::F16c : HalfKernel::Portable; }

void widenHalvesWith(HalfKernel kernel, const std::uint8_t* bytes, std::size_t sampleCount, float* out) {
#ifdef OMBER_HAVE_F16C_KERNEL
  if (kernel == HalfKernel::F16c && cpuHasF16c()) return widenF16c(bytes, sampleCount, out);
#endif
  (void)kernel;
  widenPortable(bytes, sampleCount, out);
}

void widenHalvesAddWith(HalfKernel kernel, const std::uint8_t* bytes, std::size_t sampleCount, float* inOut) {
#ifdef OMBER_HAVE_F16C_KERNEL
  if (kernel == HalfKernel::F16c && cpuHasF16c()) return widenAddF16c(bytes, sampleCount, inOut);
#endif
  (void)kernel;
  widenAddPortable(bytes, sampleCount, inOut);
}

void widenHalves(const std::uint8_t* bytes, std::size_t sampleCount, float* out) {
  static const HalfKernel kernel = bestHalfKernel();
  widenHalvesWith(kernel, bytes, sampleCount, out);
}

void widenHalvesAdd(const std::uint8_t* bytes, std::size_t sampleCount, float* inOut) {
  static const HalfKernel kernel = bestHalfKernel();
  widenHalvesAddWith(kernel, bytes, sampleCount, inOut);
}

}  // namespace omber::base

// Messages as the server sends them, for tests that drive the session:
// little-endian binary16 samples, zstd frames from the real library, and
// slices with their 23-byte header.
#pragma once

#include <zstd.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace omber::testing {

using Bytes = std::vector<std::uint8_t>;

// The binary16 bits of a float that binary16 holds exactly (normal numbers
// and zero; the tests use only such values).
inline std::uint16_t halfBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
  if ((bits & 0x7fffffffu) == 0) return sign;
  const auto exponent = static_cast<std::uint16_t>(((bits >> 23) & 0xffu) - 112u);
  return static_cast<std::uint16_t>(sign | (exponent << 10) | ((bits >> 13) & 0x3ffu));
}

inline Bytes halves(const std::vector<float>& values) {
  Bytes out;
  for (const float v : values) {
    const std::uint16_t h = halfBits(v);
    out.push_back(static_cast<std::uint8_t>(h));
    out.push_back(static_cast<std::uint8_t>(h >> 8));
  }
  return out;
}

inline Bytes zstdFrame(const Bytes& plain) {
  Bytes out(ZSTD_compressBound(plain.size()));
  out.resize(ZSTD_compress(out.data(), out.size(), plain.data(), plain.size(), 3));
  return out;
}

// kind, start frame, five fields the engine reads past, then the payload.
inline Bytes slice(std::uint8_t kind, std::uint32_t startFrame, const Bytes& payload) {
  Bytes out = {kind, static_cast<std::uint8_t>(startFrame), static_cast<std::uint8_t>(startFrame >> 8),
               static_cast<std::uint8_t>(startFrame >> 16), static_cast<std::uint8_t>(startFrame >> 24)};
  out.resize(23, 0xee);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

inline Bytes rawSlice(std::uint32_t startFrame, const std::vector<float>& values) {
  return slice(0, startFrame, halves(values));
}

inline Bytes differenceSlice(std::uint32_t startFrame, const std::vector<float>& values) {
  return slice(1, startFrame, zstdFrame(halves(values)));
}

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace omber::testing

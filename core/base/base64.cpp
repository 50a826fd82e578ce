#include "core/base/base64.h"

namespace omber::base {
namespace {

const char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kUrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The standard table plus "-" and "_"; "=" is marked -2 so the reader can stop there.
const std::array<std::int32_t, 256>& snapshotTable() {
  static const std::array<std::int32_t, 256> table = [] {
    std::array<std::int32_t, 256> t = base64DecodeTable();
    t[static_cast<unsigned char>('-')] = 62;
    t[static_cast<unsigned char>('_')] = 63;
    t[static_cast<unsigned char>('=')] = -2;
    return t;
  }();
  return table;
}

// Gathers 6 bits per character with a non-negative table entry, skips -1,
// stops at -2.
std::vector<std::uint8_t> decodeWith(const std::array<std::int32_t, 256>& table, std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int pending = 0;
  for (const char c : text) {
    const std::int32_t v = table[static_cast<unsigned char>(c)];
    if (v < 0) {
      if (v == -2) break;
      continue;
    }
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> pending));
    }
  }
  return out;
}

std::string encodeWith(const char* alphabet, bool pad, const std::uint8_t* bytes, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  const std::size_t rest = size - i;
  if (rest) {
    const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    if (rest == 2) out += alphabet[(v >> 6) & 63];
    if (pad) out.append(3 - rest, '=');
  }
  return out;
}

}  // namespace

const std::array<std::int32_t, 256>& base64DecodeTable() {
  static const std::array<std::int32_t, 256> table = [] {
    std::array<std::int32_t, 256> t;
    t.fill(-1);
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kStandard[i])] = i;
    return t;
  }();
  return table;
}

std::vector<std::uint8_t> base64DecodeClip(std::string_view text) { return decodeWith(base64DecodeTable(), text); }

std::vector<std::uint8_t> base64DecodeSnapshot(std::string_view text) { return decodeWith(snapshotTable(), text); }

std::string base64EncodeStandard(const std::uint8_t* bytes, std::size_t size) {
  return encodeWith(kStandard, true, bytes, size);
}

std::string base64EncodeSnapshot(const std::uint8_t* bytes, std::size_t size) {
  return encodeWith(kUrlSafe, false, bytes, size);
}

}  // namespace omber::base

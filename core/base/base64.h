// Base64 in the two flavours the engine uses.
//
// Clips (WAV files carried inside preset documents) use the standard
// alphabet: the decoder skips every byte outside it ("=" padding, line
// breaks, anything else) and goes on after "=". Snapshot texts use the
// URL-safe alphabet ("-" and "_" for 62 and 63) without padding; their reader
// takes both alphabets, skips other bytes and stops at the first "=".
// Neither decoder fails: 6 bits are gathered per accepted character and a
// byte is emitted whenever 8 are pending; leftover bits are dropped.
//
// Pure functions: thread-safe; not realtime-safe (results allocate).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace omber::base {

// 256 entries: 0..63 for the characters of the standard alphabet, -1 for
// every other byte. Built once (thread-safe one-time initialisation).
const std::array<std::int32_t, 256>& base64DecodeTable();

std::vector<std::uint8_t> base64DecodeClip(std::string_view text);
std::vector<std::uint8_t> base64DecodeSnapshot(std::string_view text);

// Standard alphabet with "=" padding (for clips embedded in documents).
std::string base64EncodeStandard(const std::uint8_t* bytes, std::size_t size);
// URL-safe alphabet, no padding (for snapshot texts).
std::string base64EncodeSnapshot(const std::uint8_t* bytes, std::size_t size);

}  // namespace omber::base

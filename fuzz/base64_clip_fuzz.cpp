// Fuzzes the clip base64 decoder: it never fails, never yields more than
// 3 bytes per 4 characters, and inverts the standard encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/base/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto decoded = omber::base::base64DecodeClip(text);
  if (decoded.size() > size * 3 / 4) std::abort();
  const std::string encoded = omber::base::base64EncodeStandard(data, size);
  if (omber::base::base64DecodeClip(encoded) != std::vector<std::uint8_t>(data, data + size)) std::abort();
  return 0;
}

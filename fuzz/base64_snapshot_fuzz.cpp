// Fuzzes the snapshot-text base64 reader: it never fails, stops at the first
// '=', and inverts the URL-safe encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/base/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto decoded = omber::base::base64DecodeSnapshot(text);
  const std::size_t stop = text.find('=');
  if (stop != std::string_view::npos && decoded != omber::base::base64DecodeSnapshot(text.substr(0, stop)))
    std::abort();
  const std::string encoded = omber::base::base64EncodeSnapshot(data, size);
  if (omber::base::base64DecodeSnapshot(encoded) != std::vector<std::uint8_t>(data, data + size)) std::abort();
  return 0;
}

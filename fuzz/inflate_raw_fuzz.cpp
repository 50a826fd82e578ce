// Fuzzes raw inflate on arbitrary bytes (only the wrapper's error may come
// out), and checks that deflating the input and inflating it gives it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/base/compression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const auto out = omber::base::inflateRaw(data, size);
    if (out.size() > omber::base::kInflateOutputCap) std::abort();
  } catch (const omber::base::CompressionError&) {
  }
  const auto packed = omber::base::deflateRaw(data, size);
  if (omber::base::inflateRaw(packed.data(), packed.size()) != std::vector<std::uint8_t>(data, data + size))
    std::abort();
  return 0;
}

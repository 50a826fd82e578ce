// Fuzzes the zstd decoder differentially: its one-pass shortcut must give
// exactly what the step-wise algorithm gives (same bytes, or the same error
// text) on every input. Two long-lived decoders, as a session would keep one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/server/compression.h"

namespace {

struct Result {
  omber::ByteView bytes;
  std::string error;
  bool ok = false;
};

template <class Call>
Result attempt(Call call) {
  Result r;
  try {
    r.bytes = call();
    r.ok = true;
  } catch (const omber::CompressionError& e) {
    r.error = e.what();
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static omber::ZstdDecoder fast, stepwise;
  const Result a = attempt([&] { return fast.decompress(data, size); });
  const Result b = attempt([&] { return stepwise.decompressStepwise(data, size); });
  if (a.ok != b.ok || a.error != b.error) std::abort();
  if (a.ok && (a.bytes.size != b.bytes.size ||
               (a.bytes.size && std::memcmp(a.bytes.data, b.bytes.data, a.bytes.size) != 0))) {
    std::abort();
  }
  if (a.ok && a.bytes.size > omber::kZstdOutputCap) std::abort();
  return 0;
}

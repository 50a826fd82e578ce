// Fuzzes the JSON parser. Whatever it accepts must survive the lookups, and
// every string it produced must read back unchanged through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/base/json.h"

namespace {

void walk(const omber::base::JsonValue& v) {
  if (v.isString()) {
    omber::base::JsonValue back;
    if (!omber::base::parseJson(omber::base::quoteJson(v.text()), back) || back.text() != v.text()) std::abort();
  }
  for (const auto& item : v.items()) walk(item);
  for (const auto& m : v.members()) {
    if (omber::base::find(v, m.key()) == nullptr) std::abort();
    walk(m.value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  omber::base::JsonValue value;
  const bool ok = omber::base::parseJson(std::string_view(reinterpret_cast<const char*>(data), size), value);
  if (!ok && !value.isNull()) std::abort();
  if (ok) walk(value);
  return 0;
}

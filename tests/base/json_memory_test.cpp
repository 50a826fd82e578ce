// The parser's memory: what a parsed document keeps per value, and what a
// failed parse leaves behind. Heap bytes are counted by replacing the global
// allocation functions of this test program (the usable size of each block,
// so the allocator's rounding counts too). The figures are printed:
//   build/tests/omber_tests_server --gtest_filter='JsonMemory*'
#include <gtest/gtest.h>
#if defined(__APPLE__)
#include <malloc/malloc.h>
#else
#include <malloc.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "core/base/json.h"

namespace {

std::atomic<long long> liveBytes{0};

// The usable size of a block from malloc, as each C library names it.
long long usableSize(void* p) {
#if defined(_WIN32)
  return static_cast<long long>(_msize(p));
#elif defined(__APPLE__)
  return static_cast<long long>(malloc_size(p));
#else
  return static_cast<long long>(malloc_usable_size(p));
#endif
}

void* counted(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  liveBytes += usableSize(p);
  return p;
}

void uncounted(void* p) noexcept {
  if (!p) return;
  liveBytes -= usableSize(p);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace omber::base {
namespace {

// Heap bytes a parsed document holds, per value (containers, members' keys
// and every nested value counted once each).
double bytesPerValue(const std::string& text, std::size_t values) {
  JsonValue warm;
  EXPECT_TRUE(parseJson(text, warm));  // the parser's reusable scratch is grown once
  warm = JsonValue();
  const long long before = liveBytes;
  JsonValue doc;
  EXPECT_TRUE(parseJson(text, doc));
  return static_cast<double>(liveBytes - before) / static_cast<double>(values);
}

TEST(JsonMemory, ADocumentKeepsAboutSixteenBytesPerValue) {
  constexpr int kCount = 100000;
  std::string numbers = "[";
  for (int i = 0; i < kCount; ++i) numbers += (i ? "," : "") + std::to_string(i % 1000) + ".5";
  numbers += "]";
  const double perNumber = bytesPerValue(numbers, kCount + 1);

  // Members with short keys and short string values: each member is two
  // values (its key and its value).
  std::string members = "{";
  for (int i = 0; i < kCount; ++i) members += (i ? ",\"k" : "\"k") + std::to_string(i % 10000) + "\":\"v\"";
  members += "}";
  const double perMemberValue = bytesPerValue(members, 2 * kCount + 1);

  std::printf("[ figures  ] bytes per value: number array %.1f, object of short strings %.1f\n", perNumber,
              perMemberValue);
  EXPECT_LE(perNumber, 17.0);
  EXPECT_LE(perMemberValue, 17.0);
}

TEST(JsonMemory, AFailedParseGivesItsMemoryBack) {
  std::string text = "[";
  for (int i = 0; i < 200000; ++i) text += "{\"key_of_some_length\":[1,2,\"a string too long to be short\"]},";
  JsonValue warm;
  parseJson("[]", warm);
  const long long before = liveBytes;
  JsonValue doc;
  EXPECT_FALSE(parseJson(text, doc));  // cut off after the last comma
  const long long kept = liveBytes - before;
  std::printf("[ figures  ] bytes kept after a failed parse of %zu bytes: %lld\n", text.size(), kept);
  EXPECT_LE(kept, 64 * 1024);
  EXPECT_TRUE(doc.isNull());
}

}  // namespace
}  // namespace omber::base

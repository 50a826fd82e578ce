#include "core/base/number_text.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>

namespace omber::base {
namespace {

constexpr std::uint64_t kSignBit = 0x8000000000000000ull;
constexpr std::uint64_t kExponentMask = 0x7FF0000000000000ull;
constexpr std::uint64_t kFractionMask = 0x000FFFFFFFFFFFFFull;
constexpr std::uint64_t kQuietBit = 0x0008000000000000ull;
constexpr std::uint64_t kTwoPow53Bits = 0x4340000000000000ull;  // 2^53: integers above may lose digits

std::uint64_t bitsOf(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

char* copyWord(char* out, const char* word) {
  const std::size_t n = std::strlen(word);
  std::memcpy(out, word, n);
  return out + n;
}

// Writes the non-finite words for a value whose exponent bits are all set.
char* appendNonFinite(char* out, std::uint64_t bits) {
  const std::uint64_t fraction = bits & kFractionMask;
  if (fraction == 0) return copyWord(out, "inf");
  if ((fraction & kQuietBit) == 0) return copyWord(out, "nan(snan)");
  if (fraction == kQuietBit && (bits & kSignBit)) return copyWord(out, "nan(ind)");
  return copyWord(out, "nan");
}

// strtod in the C locale on a NUL-terminated text, so that conversions read
// a period whatever the process locale.
#if defined(_WIN32)
double strtodC(const char* text, char** end) {
  static const _locale_t c = _create_locale(LC_ALL, "C");
  return c ? _strtod_l(text, end, c) : std::strtod(text, end);
}
#else
double strtodC(const char* text, char** end) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c ? strtod_l(text, end, c) : std::strtod(text, end);
}
#endif

bool startsWithWord(const char* text, const char* lowerWord) {
  for (; *lowerWord; ++text, ++lowerWord) {
    if (*text != *lowerWord && *text != *lowerWord - ('a' - 'A')) return false;
  }
  return true;
}

// Reads "inf", "infinity" or "nan" optionally followed by "(chars)", in any
// case, after optional white space and a sign, as C99 strtod does. Windows'
// strtod reads none of them (it returns 0 having read nothing), so they are
// read here on every platform. False when the text is no such word.
const char* skipSpaceAndSign(const char* text, bool& negative) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

bool readNonFinite(const char* text, double& value) {
  bool negative = false;
  const char* p = skipSpaceAndSign(text, negative);
  if (startsWithWord(p, "inf")) {
    value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  if (startsWithWord(p, "nan")) {
    value = std::copysign(std::numeric_limits<double>::quiet_NaN(), negative ? -1.0 : 1.0);
    return true;
  }
  return false;
}

// Reads a hexadecimal number ("0x1.8p3") as C99 strtod does; Windows'
// strtod reads "0" and stops at the "x". Out of range reads as 0, as an
// ERANGE from strtod does in numberFromText. False when the text is none.
bool readHex(const char* text, double& value) {
  bool negative = false;
  const char* p = skipSpaceAndSign(text, negative);
  if (p[0] != '0' || (p[1] != 'x' && p[1] != 'X')) return false;
  const char first = p[2];  // from_chars would also take a sign here; strtod does not
  const bool digit = (first >= '0' && first <= '9') || ((first | 0x20) >= 'a' && (first | 0x20) <= 'f');
  if (!digit && first != '.') return false;
  double magnitude = 0.0;
  const auto result = std::from_chars(p + 2, p + 2 + std::strlen(p + 2), magnitude, std::chars_format::hex);
  if (result.ec == std::errc::invalid_argument) return false;  // "0x" alone: strtod reads the 0
  value = result.ec == std::errc() ? (negative ? -magnitude : magnitude) : 0.0;
  return true;
}

}  // namespace

char* formatNumberTo(char* out, double value) {
  const std::uint64_t bits = bitsOf(value);
  if ((bits & kExponentMask) == kExponentMask) {
    if (bits & kSignBit) *out++ = '-';
    return appendNonFinite(out, bits);
  }
  // The plain to_chars form is the rule: shortest round-trip digits, fixed or
  // scientific whichever is shorter, fixed on a tie, two exponent digits at
  // least; "-" for a set sign bit, so -0 gives "-0".
  char* const end = std::to_chars(out, out + kMaxNumberText, value).ptr;
  // Except that it prints an integral value in fixed notation exactly, which
  // from 2^53 on may show more digits than the shortest round trip needs:
  // those are written as the shortest digits padded with zeros (same length).
  if ((bits & ~kSignBit) < kTwoPow53Bits || std::memchr(out, 'e', static_cast<std::size_t>(end - out))) return end;
  char sci[32];
  const char* sciEnd = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific).ptr;
  char* p = out + ((bits & kSignBit) ? 1 : 0);
  for (const char* q = sci; q < sciEnd && *q != 'e'; ++q) {
    if (*q != '.') *p++ = *q;
  }
  std::memset(p, '0', static_cast<std::size_t>(end - p));
  return end;
}

void appendNumber(std::string& out, double value) {
  char buf[kMaxNumberText];
  out.append(buf, static_cast<std::size_t>(formatNumberTo(buf, value) - buf));
}

std::string formatNumber(double value) {
  char buf[kMaxNumberText];
  return std::string(buf, formatNumberTo(buf, value));
}

double decimalToDouble(std::string_view text) {
  double value = 0.0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec == std::errc()) return value;
  // from_chars leaves the value untouched on overflow and underflow; strtod
  // rounds those to an infinity, zero or a denormal, correctly.
  const std::string copy(text);
  return strtodC(copy.c_str(), nullptr);
}

double numberFromText(std::string_view text) {
  // strtod needs a terminated string; short texts avoid the heap.
  char small[64];
  std::string large;
  const char* begin;
  if (text.size() < sizeof small) {
    std::memcpy(small, text.data(), text.size());
    small[text.size()] = '\0';
    begin = small;
  } else {
    large.assign(text);
    begin = large.c_str();
  }
  double special = 0.0;
  if (readNonFinite(begin, special) || readHex(begin, special)) return special;
  char* end = nullptr;
  errno = 0;
  const double v = strtodC(begin, &end);
  if (end == begin || errno == ERANGE) return 0.0;
  return v;
}

std::int32_t truncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::int64_t truncateToInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

std::int32_t roundToInt32(double value) { return truncateToInt32(std::round(value)); }

}  // namespace omber::base

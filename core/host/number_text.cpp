#include "core/host/number_text.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>

namespace omber {
namespace {

constexpr std::uint64_t kSignBit = 0x8000000000000000ull;
constexpr std::uint64_t kExponentMask = 0x7FF0000000000000ull;
constexpr std::uint64_t kFractionMask = 0x000FFFFFFFFFFFFFull;
constexpr std::uint64_t kQuietBit = 0x0008000000000000ull;

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

// Lays out the shortest digits in fixed or scientific notation, whichever is
// shorter (fixed on a tie) and returns the end of the text. `digits` holds
// the significant digits without a point, `exp10` is the decimal exponent of
// the first digit (value = d.ddd x 10^exp10). Fixed notation of a large
// integral value pads the shortest digits with zeros rather than printing
// the exact binary value.
char* layOut(char* out, const char* digits, int count, int exp10) {
  const int absExp = exp10 < 0 ? -exp10 : exp10;
  const int expDigits = absExp >= 100 ? 3 : 2;
  const int sciLen = count + (count > 1 ? 1 : 0) + 2 + expDigits;
  int fixedLen;
  if (exp10 >= 0) {
    fixedLen = count <= exp10 + 1 ? exp10 + 1 : count + 1;
  } else {
    fixedLen = 2 + (-exp10 - 1) + count;  // "0." + zeros + digits
  }
  if (fixedLen <= sciLen) {
    if (exp10 < 0) {
      *out++ = '0';
      *out++ = '.';
      for (int i = 1; i < -exp10; ++i) *out++ = '0';
      std::memcpy(out, digits, static_cast<std::size_t>(count));
      return out + count;
    }
    if (count <= exp10 + 1) {
      std::memcpy(out, digits, static_cast<std::size_t>(count));
      out += count;
      for (int i = count; i <= exp10; ++i) *out++ = '0';
      return out;
    }
    std::memcpy(out, digits, static_cast<std::size_t>(exp10 + 1));
    out += exp10 + 1;
    *out++ = '.';
    std::memcpy(out, digits + exp10 + 1, static_cast<std::size_t>(count - exp10 - 1));
    return out + (count - exp10 - 1);
  }
  *out++ = digits[0];
  if (count > 1) {
    *out++ = '.';
    std::memcpy(out, digits + 1, static_cast<std::size_t>(count - 1));
    out += count - 1;
  }
  *out++ = 'e';
  *out++ = exp10 < 0 ? '-' : '+';
  if (absExp >= 100) *out++ = static_cast<char>('0' + absExp / 100);
  *out++ = static_cast<char>('0' + (absExp / 10) % 10);
  *out++ = static_cast<char>('0' + absExp % 10);
  return out;
}

// The C locale, so that conversions read a period whatever the process locale.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

// strtod in the C locale on a NUL-terminated text.
double strtodC(const char* text, char** end) {
  const locale_t c = cLocale();
  return c ? strtod_l(text, end, c) : std::strtod(text, end);
}

}  // namespace

char* formatNumberTo(char* out, double value) {
  const std::uint64_t bits = bitsOf(value);
  if (bits & kSignBit) *out++ = '-';
  if ((bits & kExponentMask) == kExponentMask) return appendNonFinite(out, bits);
  if ((bits & ~kSignBit) == 0) {
    *out++ = '0';
    return out;
  }
  // to_chars in scientific form gives the shortest round-trip digits as
  // "d[.ddd]e+XX"; they are then laid out by the fixed/scientific rule.
  char sci[32];
  const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific);
  char digits[20];
  digits[0] = sci[0];
  int count = 1;
  const char* p = sci + 1;
  if (*p == '.') {
    for (++p; *p != 'e'; ++p) digits[count++] = *p;
  }
  const bool negativeExp = p[1] == '-';
  int exp10 = 0;
  for (p += 2; p < res.ptr; ++p) exp10 = exp10 * 10 + (*p - '0');
  return layOut(out, digits, count, negativeExp ? -exp10 : exp10);
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

}  // namespace omber

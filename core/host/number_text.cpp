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

// Writes the non-finite words for a value whose exponent bits are all set.
void appendNonFinite(std::string& out, std::uint64_t bits) {
  const std::uint64_t fraction = bits & kFractionMask;
  if (fraction == 0) {
    out += "inf";
  } else if ((fraction & kQuietBit) == 0) {
    out += "nan(snan)";
  } else if (fraction == kQuietBit && (bits & kSignBit)) {
    out += "nan(ind)";
  } else {
    out += "nan";
  }
}

// Lays out the shortest digits in fixed or scientific notation, whichever is
// shorter. `digits` holds the significant digits without a point, `exp10` is
// the decimal exponent of the first digit (value = d.ddd × 10^exp10).
void appendShortest(std::string& out, const char* digits, int count, int exp10) {
  // Scientific: d[.ddd]e±XX with at least two exponent digits.
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
    if (exp10 >= 0) {
      if (count <= exp10 + 1) {
        out.append(digits, count);
        out.append(static_cast<std::size_t>(exp10 + 1 - count), '0');
      } else {
        out.append(digits, exp10 + 1);
        out += '.';
        out.append(digits + exp10 + 1, count - exp10 - 1);
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exp10 - 1), '0');
      out.append(digits, count);
    }
    return;
  }
  out += digits[0];
  if (count > 1) {
    out += '.';
    out.append(digits + 1, count - 1);
  }
  out += 'e';
  out += exp10 < 0 ? '-' : '+';
  char e[4];
  int n = 0;
  if (absExp >= 100) e[n++] = static_cast<char>('0' + absExp / 100);
  e[n++] = static_cast<char>('0' + (absExp / 10) % 10);
  e[n++] = static_cast<char>('0' + absExp % 10);
  out.append(e, n);
}

}  // namespace

void appendNumber(std::string& out, double value) {
  const std::uint64_t bits = bitsOf(value);
  if (bits & kSignBit) out += '-';
  if ((bits & kExponentMask) == kExponentMask) {
    appendNonFinite(out, bits);
    return;
  }
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    out += '0';
    return;
  }
  // Shortest round-trip digits come from to_chars in scientific form.
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  const char* end = res.ptr;
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(end - buf)));
  char digits[24];
  int count = 0;
  for (const char* p = buf; p < e; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exp10 = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, end, exp10);
  appendShortest(out, digits, count, exp10);
}

std::string formatNumber(double value) {
  std::string out;
  out.reserve(24);
  appendNumber(out, value);
  return out;
}

double numberFromText(std::string_view text) {
  // strtod needs a terminated string and reads with the C locale's point.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  std::string copy(text);
  const char* begin = copy.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = cLocale ? strtod_l(begin, &end, cLocale) : std::strtod(begin, &end);
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

// Numbers as text and text as numbers, the way every part of the engine
// writes and reads them. Pure functions; thread-safe and allocation-free
// except for the returned string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace omber::base {

// Shortest decimal text that reads back to exactly the same double, in fixed
// or scientific notation, whichever is shorter (fixed on a tie). Scientific
// notation has a sign and at least two exponent digits ("1e+05", "1e-04").
// Non-finite values: "inf", "nan", "nan(ind)", "nan(snan)", each with a
// leading "-" when the sign bit is set.
std::string formatNumber(double value);

// Appends formatNumber(value) to out without a temporary string.
void appendNumber(std::string& out, double value);

// Longest text formatNumber writes ("-2.2250738585072014e-308" is 24 bytes).
constexpr std::size_t kMaxNumberText = 32;
// Writes formatNumber(value) at out (room for kMaxNumberText bytes, no
// terminator) and returns the end. Allocation-free and realtime-safe.
char* formatNumberTo(char* out, double value);

// Correctly rounded conversion of a text that is wholly a decimal number
// (optional '-', digits, optional fraction and exponent, as JSON writes
// them). Overflow gives an infinity, underflow zero or a denormal, with the
// text's sign. Locale-independent.
double decimalToDouble(std::string_view text);

// strtod-like reading: leading white space skipped, trailing characters
// ignored, "inf"/"nan" accepted; no number or a range error gives 0.0.
// Locale-independent.
double numberFromText(std::string_view text);

// Truncates toward zero into the 32-bit range; NaN gives 0, values beyond
// the range saturate.
std::int32_t truncateToInt32(double value);

// Truncates toward zero into the 64-bit range; NaN gives 0, values beyond
// the range saturate.
std::int64_t truncateToInt64(double value);

// Rounds half away from zero (std::round), then truncates into 32 bits as
// truncateToInt32 does.
std::int32_t roundToInt32(double value);

}  // namespace omber::base

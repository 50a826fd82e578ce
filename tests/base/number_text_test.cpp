#include "core/base/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "support/files.h"

namespace omber::base {
namespace {

double fromBits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

std::uint64_t bitsOf(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// formatNumber of a finite value must read back bit for bit and be the text
// std::to_chars writes (shortest digits, fixed or scientific whichever is
// shorter, fixed on a tie), except where to_chars prints a large integral
// value exactly: there the text is the shortest digits padded with zeros, of
// the same length.
void expectShortestRoundTrip(double v) {
  const std::string text = formatNumber(v);
  double back = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), back);
  ASSERT_TRUE(res.ec == std::errc() && res.ptr == text.data() + text.size()) << text;
  ASSERT_EQ(bitsOf(back), bitsOf(v)) << text;
  char buf[64];
  const std::string plain(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  if (text != plain) {
    ASSERT_EQ(text.size(), plain.size()) << text << " vs " << plain;
    ASSERT_EQ(plain.find_first_of(".e"), std::string::npos) << text << " vs " << plain;
    ASSERT_GT(std::fabs(v), 9007199254740992.0) << text;  // above 2^53 integers lose digits
  }
}

TEST(FormatNumber, ShortestFixedOrScientific) {
  const std::pair<double, const char*> cases[] = {
      {4, "4"},
      {0.25, "0.25"},
      {0.1, "0.1"},
      {120, "120"},
      {10000, "10000"},
      {100000, "1e+05"},
      {123456, "123456"},
      {0.00001, "1e-05"},
      {1.5e300, "1.5e+300"},
      {1e21, "1e+21"},
      {-0.0, "-0"},
      {0.442, "0.442"},
      // The fixed text "0.0001" is one character longer than "1e-04".
      {0.0001, "1e-04"},
  };
  for (const auto& [v, text] : cases) EXPECT_EQ(formatNumber(v), text) << v;
}

TEST(FormatNumber, LargeIntegralValuesPadTheShortestDigits) {
  EXPECT_EQ(formatNumber(1152921504606846976.0), "1152921504606847000");  // 2^60
  EXPECT_EQ(formatNumber(-9007199254740993.0), "-9007199254740992");
  EXPECT_EQ(formatNumber(1e20), "1e+20");
  EXPECT_EQ(formatNumber(123456789012345680000.0), "123456789012345680000");
  EXPECT_EQ(formatNumber(5e-324), "5e-324");
  EXPECT_EQ(formatNumber(1.7976931348623157e308), "1.7976931348623157e+308");
  EXPECT_EQ(formatNumber(0.001), "0.001");
  EXPECT_EQ(formatNumber(0.0012), "0.0012");
  EXPECT_EQ(formatNumber(0.00012), "0.00012");  // a tie with "1.2e-04": fixed
}

TEST(FormatNumber, CorpusDoublesRoundTripBitForBit) {
  std::size_t count = 0;
  const std::string dir = testing::conformancePath("float-parse-number-fxx");
  for (const std::string& name : testing::filesEndingWith(dir, ".txt")) {
    std::istringstream lines(testing::readText(dir + "/" + name));
    for (std::string line; std::getline(lines, line);) {
      if (line.size() < 31) continue;
      const double v = fromBits(std::stoull(line.substr(14, 16), nullptr, 16));
      if (!std::isfinite(v)) continue;
      expectShortestRoundTrip(v);
      expectShortestRoundTrip(-v);
      ++count;
    }
  }
  EXPECT_GT(count, 52000u);
}

TEST(FormatNumber, RandomBitPatternsRoundTripBitForBit) {
  std::mt19937_64 rng(20240611);
  for (int i = 0; i < 500000; ++i) {
    const double v = fromBits(rng());
    if (std::isfinite(v)) expectShortestRoundTrip(v);
  }
  // Integers and short decimals, where fixed and scientific compete.
  for (int i = 0; i < 200000; ++i) {
    expectShortestRoundTrip(static_cast<double>(rng() >> (rng() % 64)));
    expectShortestRoundTrip(static_cast<double>(rng() % 100000) * std::pow(10.0, static_cast<int>(rng() % 40) - 20));
  }
}

TEST(FormatNumber, WritesIntoBuffersAndAppends) {
  char buf[kMaxNumberText];
  const double v = -2.2250738585072014e-308;
  char* end = formatNumberTo(buf, v);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(end - buf)), "-2.2250738585072014e-308");
  EXPECT_LE(static_cast<std::size_t>(end - buf), kMaxNumberText);
  std::string out = "x=";
  appendNumber(out, 0.1);
  appendNumber(out, -0.0);
  EXPECT_EQ(out, "x=0.1-0");
}

TEST(DecimalToDouble, CorrectlyRoundedWithOverflowAndUnderflow) {
  EXPECT_EQ(decimalToDouble("0.1"), 0.1);
  EXPECT_EQ(decimalToDouble("1e400"), HUGE_VAL);
  EXPECT_EQ(decimalToDouble("-1e400"), -HUGE_VAL);
  EXPECT_EQ(bitsOf(decimalToDouble("-1e-400")), 0x8000000000000000ull);
  EXPECT_EQ(bitsOf(decimalToDouble("2.4703282292062328e-324")), 1u);  // just above half the least denormal
  EXPECT_EQ(bitsOf(decimalToDouble("2.2250738585072011e-308")), 0x000FFFFFFFFFFFFFull);
}

TEST(FormatNumber, NonFiniteWords) {
  EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(formatNumber(fromBits(0x7FF8000000000000ull)), "nan");
  EXPECT_EQ(formatNumber(fromBits(0xFFF8000000000000ull)), "-nan(ind)");
  EXPECT_EQ(formatNumber(fromBits(0x7FF0000000000001ull)), "nan(snan)");
  EXPECT_EQ(formatNumber(fromBits(0xFFF8000000000001ull)), "-nan");
}

TEST(NumberFromText, StrtodRules) {
  EXPECT_EQ(numberFromText("  3.5abc"), 3.5);
  EXPECT_EQ(numberFromText("abc"), 0.0);
  EXPECT_EQ(numberFromText("1e999"), 0.0);
  EXPECT_TRUE(std::isinf(numberFromText("inf")));
  EXPECT_TRUE(std::isnan(numberFromText("nan")));
}

// The forms C99 strtod reads, whatever the platform's own strtod does
// (Windows' reads neither the words nor hexadecimal): sign, any case,
// "infinity", "nan(chars)", "0x" numbers, leading white space; the rest of
// the text is ignored.
TEST(NumberFromText, NonFiniteWordsAndHexOnEveryPlatform) {
  EXPECT_EQ(numberFromText(" \t+Inf"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(numberFromText("-INFINITY"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(numberFromText("infinit"), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(numberFromText("NaN(0x7f_a)")));
  EXPECT_TRUE(std::signbit(numberFromText("-nan")));
  EXPECT_TRUE(std::isnan(numberFromText("nan(unclosed")));
  EXPECT_EQ(numberFromText("in"), 0.0);
  EXPECT_EQ(numberFromText("+"), 0.0);
  EXPECT_EQ(numberFromText("-0x10"), -16.0);
  EXPECT_EQ(numberFromText(" 0X1.8p1z"), 3.0);
  EXPECT_EQ(numberFromText("0x"), 0.0);
  EXPECT_EQ(numberFromText("0x-1"), 0.0);
  EXPECT_EQ(numberFromText("0x.8"), 0.5);
  EXPECT_EQ(numberFromText("0x1p99999"), 0.0);  // out of range, as 1e999
}

}  // namespace
}  // namespace omber::base

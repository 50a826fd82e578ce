#include "core/host/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace omber {
namespace {

double fromBits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

TEST(FormatNumber, ShortestFixedOrScientific) {
  const std::pair<double, const char*> cases[] = {
      {4, "4"},         {0.25, "0.25"},         {0.1, "0.1"},      {120, "120"},
      {10000, "10000"}, {100000, "1e+05"},      {123456, "123456"}, {0.00001, "1e-05"},
      {1.5e300, "1.5e+300"}, {1e21, "1e+21"},   {-0.0, "-0"},      {0.442, "0.442"},
      // The fixed text "0.0001" is one character longer than "1e-04".
      {0.0001, "1e-04"},
  };
  for (const auto& [v, text] : cases) EXPECT_EQ(formatNumber(v), text) << v;
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

}  // namespace
}  // namespace omber

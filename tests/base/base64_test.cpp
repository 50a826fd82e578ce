#include "core/base/base64.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/base/json.h"
#include "support/files.h"

namespace omber::base {
namespace {

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

TEST(Base64Conformance, BothDecodersGiveTheExpectedBytes) {
  JsonValue cases;
  ASSERT_TRUE(parseJson(testing::readText(testing::conformancePath("base64/expected-decoded.json")), cases));
  ASSERT_EQ(cases.items().size(), 100u);
  for (const JsonValue& c : cases.items()) {
    const std::string input = *optString(c, "input");
    EXPECT_EQ(hexOf(base64DecodeClip(input)), *optString(c, "clip")) << input;
    EXPECT_EQ(hexOf(base64DecodeSnapshot(input)), *optString(c, "snapshot")) << input;
  }
}

TEST(Base64Conformance, EncodersMatchTheRfcVectors) {
  std::istringstream lines(testing::readText(testing::conformancePath("base64/rfc4648-vectors.tsv")));
  int rows = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cols;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, '\t');) cols.push_back(f);
    cols.resize(4);
    const auto bytes = fromHex(cols[1]);
    EXPECT_EQ(base64EncodeStandard(bytes.data(), bytes.size()), cols[2]) << line;
    EXPECT_EQ(base64EncodeSnapshot(bytes.data(), bytes.size()), cols[3]) << line;
    EXPECT_EQ(base64DecodeClip(cols[2]), bytes) << line;
    EXPECT_EQ(base64DecodeSnapshot(cols[3]), bytes) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 11);
}

TEST(Base64, DecodeTableAndForgivingInput) {
  const auto& table = base64DecodeTable();
  int valid = 0;
  for (int c = 0; c < 256; ++c) valid += table[c] >= 0;
  EXPECT_EQ(valid, 64);
  EXPECT_EQ(table['A'], 0);
  EXPECT_EQ(table['/'], 63);
  EXPECT_EQ(table['='], -1);
  EXPECT_EQ(table['-'], -1);
  EXPECT_EQ(&table, &base64DecodeTable());

  const std::string plain = "Zm9vYmFyIGJheg==";
  const std::string wrapped = "Zm9v\r\nYmFy\nIGJh eg";
  EXPECT_EQ(base64DecodeClip(wrapped), base64DecodeClip(plain));
  // The clip decoder goes on after '=': the bit stream simply continues, so
  // the 4 bits left over from "Zg" lead the next byte.
  EXPECT_EQ(base64DecodeClip("Zg==Zm8="), std::vector<std::uint8_t>({'f', 0x06, 'f'}));
  EXPECT_EQ(base64DecodeSnapshot("Zg==Zm8="), std::vector<std::uint8_t>({'f'}));  // stops at '='
  EXPECT_EQ(base64DecodeSnapshot("-_-_"), std::vector<std::uint8_t>({0xFB, 0xFF, 0xBF}));
  EXPECT_EQ(base64DecodeSnapshot("+/+/"), base64DecodeSnapshot("-_-_"));
  EXPECT_TRUE(base64DecodeClip("-_-_").empty());
}

}  // namespace
}  // namespace omber::base

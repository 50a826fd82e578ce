#include "core/base/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>

#include "support/files.h"

namespace omber::base {
namespace {

using testing::conformancePath;
using testing::filesEndingWith;
using testing::readText;

bool accepts(const std::string& text) {
  JsonValue v;
  return parseJson(text, v);
}

std::uint64_t bitsOf(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

double parseNumber(const std::string& text) {
  JsonValue v;
  EXPECT_TRUE(parseJson(text, v)) << text;
  EXPECT_TRUE(v.isNumber()) << text;
  return v.number();
}

TEST(JsonConformance, SuiteAcceptsEveryYesAndRejectsEveryNo) {
  const std::string dir = conformancePath("jsontestsuite/test_parsing");
  int yes = 0, no = 0;
  for (const std::string& name : filesEndingWith(dir, ".json")) {
    const std::string text = readText(dir + "/" + name);
    if (name.rfind("y_", 0) == 0) {
      ++yes;
      EXPECT_TRUE(accepts(text)) << name;
    } else if (name.rfind("n_", 0) == 0) {
      ++no;
      EXPECT_FALSE(accepts(text)) << name;
    }
  }
  EXPECT_EQ(yes, 95);
  EXPECT_EQ(no, 188);
}

// The files where the choice is the parser's. Overflowing and underflowing
// numbers are read (as infinities or zero), raw bytes of 128 and above are
// copied unchecked, every lone or mis-paired surrogate escape fails, and
// UTF-16 text, a byte-order mark and 500 levels of nesting fail.
TEST(JsonConformance, ImplementationDefinedOutcomesArePinned) {
  const std::map<std::string, bool> expected = {
      {"i_number_double_huge_neg_exp.json", true},
      {"i_number_huge_exp.json", true},
      {"i_number_neg_int_huge_exp.json", true},
      {"i_number_pos_double_huge_exp.json", true},
      {"i_number_real_neg_overflow.json", true},
      {"i_number_real_pos_overflow.json", true},
      {"i_number_real_underflow.json", true},
      {"i_number_too_big_neg_int.json", true},
      {"i_number_too_big_pos_int.json", true},
      {"i_number_very_big_negative_int.json", true},
      {"i_object_key_lone_2nd_surrogate.json", false},
      {"i_string_1st_surrogate_but_2nd_missing.json", false},
      {"i_string_1st_valid_surrogate_2nd_invalid.json", false},
      {"i_string_UTF-16LE_with_BOM.json", false},
      {"i_string_UTF-8_invalid_sequence.json", true},
      {"i_string_UTF8_surrogate_U+D800.json", true},
      {"i_string_incomplete_surrogate_and_escape_valid.json", false},
      {"i_string_incomplete_surrogate_pair.json", false},
      {"i_string_incomplete_surrogates_escape_valid.json", false},
      {"i_string_invalid_lonely_surrogate.json", false},
      {"i_string_invalid_surrogate.json", false},
      {"i_string_invalid_utf-8.json", true},
      {"i_string_inverted_surrogates_U+1D11E.json", false},
      {"i_string_iso_latin_1.json", true},
      {"i_string_lone_second_surrogate.json", false},
      {"i_string_lone_utf8_continuation_byte.json", true},
      {"i_string_not_in_unicode_range.json", true},
      {"i_string_overlong_sequence_2_bytes.json", true},
      {"i_string_overlong_sequence_6_bytes.json", true},
      {"i_string_overlong_sequence_6_bytes_null.json", true},
      {"i_string_truncated-utf-8.json", true},
      {"i_string_utf16BE_no_BOM.json", false},
      {"i_string_utf16LE_no_BOM.json", false},
      {"i_structure_500_nested_arrays.json", false},
      {"i_structure_UTF-8_BOM_empty_object.json", false},
  };
  const std::string dir = conformancePath("jsontestsuite/test_parsing");
  int seen = 0;
  for (const std::string& name : filesEndingWith(dir, ".json")) {
    if (name.rfind("i_", 0) != 0) continue;
    ++seen;
    const auto it = expected.find(name);
    ASSERT_NE(it, expected.end()) << "unpinned " << name;
    EXPECT_EQ(accepts(readText(dir + "/" + name)), it->second) << name;
  }
  EXPECT_EQ(seen, 35);
}

TEST(JsonConformance, GeneratedLimitFilesGiveTheirOutcomeAndValue) {
  const std::string dir = conformancePath("json-generated");
  std::map<std::string, std::string> outcome, valueBits;
  for (const auto& row : testing::readmeFileRows(dir + "/README.md")) {
    if (row.size() == 2) outcome[row[0]] = row[1];
    if (row.size() == 3) valueBits[row[0]] = row[1];
  }
  const auto files = filesEndingWith(dir, ".json");
  EXPECT_EQ(files.size(), 44u);
  for (const std::string& name : files) {
    ASSERT_TRUE(outcome.count(name)) << "no expected outcome for " << name;
    JsonValue v;
    const bool ok = parseJson(readText(dir + "/" + name), v);
    EXPECT_EQ(ok, outcome[name] == "accept") << name;
    if (!valueBits.count(name)) continue;
    ASSERT_TRUE(ok && v.isArray() && v.items().size() == 1 && v.items()[0].isNumber()) << name;
    EXPECT_EQ(bitsOf(v.items()[0].number()), std::stoull(valueBits[name], nullptr, 16)) << name;
  }
  EXPECT_EQ(valueBits.size(), 15u);
}

// Every decimal text of the corpus that is a JSON number parses to exactly
// its correctly rounded double; every other text is refused.
TEST(JsonConformance, CorpusNumbersAreCorrectlyRounded) {
  const std::regex grammar("-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?");
  std::size_t inGrammar = 0, outside = 0;
  for (const std::string& name : filesEndingWith(conformancePath("float-parse-number-fxx"), ".txt")) {
    std::istringstream lines(readText(conformancePath("float-parse-number-fxx/" + name)));
    for (std::string line; std::getline(lines, line);) {
      if (line.size() < 32) continue;
      const std::string text = line.substr(31);
      const std::uint64_t expected = std::stoull(line.substr(14, 16), nullptr, 16);
      JsonValue v;
      const bool ok = parseJson("[" + text + "]", v);
      if (std::regex_match(text, grammar)) {
        ++inGrammar;
        ASSERT_TRUE(ok) << name << ": " << text;
        ASSERT_EQ(bitsOf(v.items()[0].number()), expected) << name << ": " << text;
      } else {
        ++outside;
        EXPECT_FALSE(ok) << name << ": " << text;
      }
    }
  }
  EXPECT_EQ(inGrammar, 52863u);
  EXPECT_EQ(outside, 114u);
}

TEST(JsonParse, StructureAndWhitespaceRules) {
  for (const char* good :
       {"  {\"a\":1}  ", "-0", "0.5e-3", "1E+2", "[]", "{}", " \t\r\n[ 1 , {} ]", "\"\\u0000\"", "[true,false,null]"}) {
    EXPECT_TRUE(accepts(good)) << good;
  }
  for (const char* bad :
       {"",       "{\"a\":1} x", "[1,2,]", "{\"a\":1,}", "{'a':1}", "[01]",     "-",         "1.",    ".5",
        "1e",     "+1",          "truex",  "\v1",        "1\f",     "[1 2]",    "{\"a\" 1}", "{1:2}", "\"a",
        "\"\t\"", "\"\\x\"",     "[",      "nul",        "NaN",     "Infinity", "0x10",      "-01"}) {
    EXPECT_FALSE(accepts(bad)) << bad;
  }
}

TEST(JsonParse, DepthLimitIsTwoHundred) {
  const auto nested = [](int levels) { return std::string(levels, '[') + "0" + std::string(levels, ']'); };
  EXPECT_TRUE(accepts(nested(200)));
  EXPECT_FALSE(accepts(nested(201)));
  std::string objects = "1";
  for (int i = 0; i < 201; ++i) objects = "{\"k\":" + objects + "}";
  EXPECT_FALSE(accepts(objects));
}

TEST(JsonParse, StringsDecodeEscapesAndSurrogatePairs) {
  JsonValue v;
  ASSERT_TRUE(parseJson("\"\\ud83d\\ude00\"", v));
  EXPECT_EQ(v.text(), "\xF0\x9F\x98\x80");
  ASSERT_TRUE(parseJson("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\u20AC\\u0000x\"", v));
  EXPECT_EQ(v.text(), std::string("\"\\/\b\f\n\r\t\xC3\xA9\xE2\x82\xAC\0x", 15));
  ASSERT_TRUE(parseJson("\"\xFF\x80 raw\"", v));  // bytes from 128 copied unchecked
  EXPECT_EQ(v.text(), "\xFF\x80 raw");
  for (const char* bad : {"\"\\ude00\"", "\"\\ud83d\"", "\"\\ud83dx\"", "\"\\ud83d\\u0041\"", "\"\\ud83d\\ud83d\"",
                          "\"\\u12\"", "\"\\u12G4\""}) {
    EXPECT_FALSE(accepts(bad)) << bad;
  }
}

TEST(JsonParse, FailureLeavesNullAndSuccessReplaces) {
  JsonValue v;
  ASSERT_TRUE(parseJson("[1,2]", v));
  EXPECT_FALSE(parseJson("[1,2,", v));
  EXPECT_TRUE(v.isNull());
  EXPECT_TRUE(v.items().empty());
  ASSERT_TRUE(parseJson("\"s\"", v));
  EXPECT_TRUE(v.isString());
}

TEST(JsonParse, ExtremeNumbersSaturateOrUnderflow) {
  EXPECT_EQ(parseNumber("1e400"), HUGE_VAL);
  EXPECT_EQ(parseNumber("-1e400"), -HUGE_VAL);
  EXPECT_EQ(bitsOf(parseNumber("-1e-400")), 0x8000000000000000ull);
  EXPECT_EQ(bitsOf(parseNumber("4e-324")), 1u);
  EXPECT_EQ(parseNumber("1e99999999999999999999"), HUGE_VAL);
}

TEST(JsonLookup, FirstMemberWinsAndGettersCheckTheKind) {
  JsonValue doc;
  ASSERT_TRUE(parseJson(R"({"k":1,"k":2,"b":true,"s":"x","n":null,"a":[1]})", doc));
  ASSERT_EQ(doc.members().size(), 6u);
  EXPECT_EQ(doc.members()[1].key(), "k");
  EXPECT_EQ(optNumber(doc, "k"), 1.0);
  EXPECT_EQ(optBool(doc, "b"), true);
  EXPECT_EQ(optString(doc, "s"), "x");
  EXPECT_FALSE(optNumber(doc, "b"));
  EXPECT_FALSE(optBool(doc, "s"));
  EXPECT_FALSE(optString(doc, "k"));
  EXPECT_FALSE(optNumber(doc, "K"));
  ASSERT_NE(find(doc, "n"), nullptr);
  EXPECT_TRUE(find(doc, "n")->isNull());
  EXPECT_EQ(find(doc.members()[5].value, "k"), nullptr);  // not an object
  JsonValue copy = doc;                                   // deep copy: equal, in storage of its own
  ASSERT_EQ(copy.members().size(), 6u);
  EXPECT_NE(copy.members().begin(), doc.members().begin());
  EXPECT_EQ(copy.members()[3].value.text(), "x");
  EXPECT_EQ(copy.members()[5].value.items()[0].number(), 1.0);
  doc = JsonValue();
  EXPECT_EQ(optNumber(copy, "k"), 1.0);
  EXPECT_EQ(optBool(copy, "b"), true);
}

TEST(JsonWrite, EscapingAndQuoting) {
  EXPECT_EQ(escapeJson(std::string("a\x01\"", 3)), "a\\u0001\\\"");
  EXPECT_EQ(escapeJson(std::string("\b\t\n\f\r\x1f\\/\x7f\xc3\xa9\0", 12)),
            "\\b\\t\\n\\f\\r\\u001f\\\\/\x7f\xc3\xa9\\u0000");
  EXPECT_EQ(quoteJson("x\"y"), "\"x\\\"y\"");
  // Whatever escapeJson writes reads back to the same bytes.
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  JsonValue v;
  ASSERT_TRUE(parseJson(quoteJson(all), v));
  EXPECT_EQ(v.text(), all);
}

TEST(JsonWrite, ObjectWriterAndPairObjects) {
  EXPECT_EQ(JsonObjectWriter().close(), "{}");
  EXPECT_EQ(JsonObjectWriter().string("type", "x").number("value", 0.25).close(), R"({"type":"x","value":0.25})");
  EXPECT_EQ(JsonObjectWriter()
                .integer("i", -9007199254740993)
                .integer("z", 0)
                .boolean("t", true)
                .boolean("f", false)
                .raw("r", "[1,{}]")
                .number("big", 100000)
                .number("inf", HUGE_VAL)
                .close(),
            R"({"i":-9007199254740993,"z":0,"t":true,"f":false,"r":[1,{}],"big":1e+05,"inf":inf})");
  EXPECT_EQ(jsonObjectFromRaw({}), "{}");
  EXPECT_EQ(jsonObjectFromRaw({{"a", "1"}, {"q\"", "{\"x\":null}"}}), R"({"a":1,"q\"":{"x":null}})");
  EXPECT_EQ(jsonObjectFromScalars({}), "{}");
  EXPECT_EQ(
      jsonObjectFromScalars(
          {{"n", JsonScalar::ofNumber(0.1)}, {"b", JsonScalar::ofBool(false)}, {"w\n", JsonScalar::ofString("hi\"")}}),
      "{\"n\":0.1,\"b\":false,\"w\\n\":\"hi\\\"\"}");
  EXPECT_EQ(scalarToJson(JsonScalar::ofNumber(-0.0)), "-0");
}

}  // namespace
}  // namespace omber::base

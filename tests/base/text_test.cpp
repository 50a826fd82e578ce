#include "core/base/text.h"

#include <gtest/gtest.h>

namespace omber::base {
namespace {

TEST(Text, OneDecimalRoundsLikePrintf) {
  EXPECT_EQ(oneDecimal(120), "120.0");
  EXPECT_EQ(oneDecimal(120.44), "120.4");
  EXPECT_EQ(oneDecimal(-0.05), "-0.1");
  EXPECT_EQ(oneDecimal(1e300).size(), 303u);
}

TEST(Text, JoinedTextSpacesOnceTheTextIsNotEmpty) {
  std::vector<std::uint8_t> blob{1, 2};
  const Atoms atoms{Atom("a"), Atom(blob), Atom("b"), Atom(1.5)};
  EXPECT_EQ(joinedText(atoms, 0), "a  b 1.5");  // the empty blob piece still adds its space
  EXPECT_EQ(joinedText(atoms, 1), "b 1.5");     // an empty first piece adds nothing
  EXPECT_EQ(joinedText(atoms, 4), "");
  EXPECT_EQ(joinedText(atoms, 9), "");
  EXPECT_EQ(joinedText(Atoms{Atom(" x "), Atom("y")}, 0), " x  y");
}

TEST(Text, ArgumentTextIsTheTrimmedJoinedText) {
  EXPECT_EQ(argumentText(Atoms{Atom("a"), Atom(1.5), Atom("b")}, 0), "a 1.5 b");
  EXPECT_EQ(argumentText(Atoms{Atom(std::vector<std::uint8_t>{1})}, 0), "");
  EXPECT_EQ(argumentText(Atoms{Atom("\t x "), Atom("y \r\n")}, 0), "x  y");
}

TEST(Text, TrimmingRemovesSpaceAndControlBytesNineToThirteen) {
  EXPECT_EQ(trimmed(" \t\n\v\f\rword \x0b"), "word");
  EXPECT_EQ(trimmed("\x08word\x0e"), "\x08word\x0e");
  EXPECT_EQ(trimmed("   "), "");
  EXPECT_EQ(trimmed("a b"), "a b");
}

TEST(Text, FileReferenceNeedsTheWholePrefix) {
  EXPECT_TRUE(isFileReference("file:"));
  EXPECT_TRUE(isFileReference("file:Omber/configs/a.json"));
  EXPECT_FALSE(isFileReference("file"));
  EXPECT_FALSE(isFileReference("File:x"));
  EXPECT_FALSE(isFileReference("v2.abc"));
}

TEST(Text, ShownTextIsCutAtWholeCharacters) {
  EXPECT_EQ(shownText("short", 200), "short");
  EXPECT_EQ(shownText(std::string(200, 'a'), 200), std::string(200, 'a'));
  EXPECT_EQ(shownText(std::string(201, 'a'), 200), std::string(200, 'a') + "\u2026");
  EXPECT_EQ(shownText("\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac", 2), "\xe2\x82\xac\xe2\x82\xac\u2026");
  EXPECT_EQ(shownText("ab\xf0\x9f\x8e\xb5", 3), "ab\xf0\x9f\x8e\xb5");
  EXPECT_EQ(shownText("", 0), "");
}

}  // namespace
}  // namespace omber::base

#include "core/documents/prompts.h"

#include <gtest/gtest.h>

namespace omber {
namespace {

TEST(KeyNames, TheTableRunsFromCMajorToBMinor) {
  EXPECT_EQ(keyNameAt(0), "");
  EXPECT_EQ(keyNameAt(1), "C major");
  EXPECT_EQ(keyNameAt(2), "C minor");
  EXPECT_EQ(keyNameAt(19), "A major");
  EXPECT_EQ(keyNameAt(24), "B minor");
  EXPECT_EQ(keyNameAt(25), "");
  EXPECT_EQ(keyNameAt(-1), "");
}

TEST(ProjectKey, NoteFromTheRootAndTheScaleInLowerCase) {
  EXPECT_EQ(projectKeyText(14.0, "Minor"), "D minor");
  EXPECT_EQ(projectKeyText(11.0, ""), "B");
  EXPECT_EQ(projectKeyText(0.0, "DORIAN"), "C dorian");
  EXPECT_EQ(projectKeyText(-1.0, "major"), "");
  EXPECT_EQ(projectKeyText(std::nullopt, "major"), "");
}

}  // namespace
}  // namespace omber

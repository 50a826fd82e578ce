// The Live Set folder, file references and their validation, file paths
// and new names.
#include "core/documents/config_files.h"

#include <gtest/gtest.h>

#include <set>

namespace omber::documents {
namespace {

TEST(ConfigFiles, LiveSetFolderIsTheTextBeforeTheLastSeparator) {
  EXPECT_EQ(liveSetFolderOf("C:\\Music\\Gig Project\\Gig.als"), "C:\\Music\\Gig Project");
  EXPECT_EQ(liveSetFolderOf("/Users/me/Set Project/Set.als"), "/Users/me/Set Project");
  EXPECT_EQ(liveSetFolderOf("C:/Music\\Mixed/Set.als"), "C:/Music\\Mixed");
  EXPECT_EQ(liveSetFolderOf("Set.als"), "");
  EXPECT_EQ(liveSetFolderOf(""), "");
}

TEST(ConfigFiles, AReferenceMadeForANameParsesBackToIt) {
  for (const char* name : {"a", "0123456789ab", "My-Preset_2.v1", ".", "A.b-c_D"}) {
    EXPECT_EQ(parseConfigReference(makeFileReference(name)), std::optional<std::string>(name)) << name;
  }
  EXPECT_EQ(makeFileReference("x1"), "file:Omber/configs/x1.json");
  EXPECT_EQ(makeFilePath("/Users/me/Set", "x1"), "/Users/me/Set/Omber/configs/x1.json");
  EXPECT_EQ(makeFilePath("C:\\Sets\\Gig", "x1"), "C:\\Sets\\Gig/Omber/configs/x1.json");
}

TEST(ConfigFiles, EveryInvalidReferenceIsRejected) {
  const char* rejected[] = {
      "",
      "file:",
      "file:Omber/configs/.json",      // empty name
      "file:Omber/configs/a..b.json",  // ".." anywhere
      "file:Omber/configs/...json",    // dots only, more than one
      "file:Omber/configs/...json.json",
      "file:Omber/configs/my preset.json",  // a space
      "file:Omber/configs/sub/x.json",      // a "/"
      "file:Omber/configs/..\\x.json",
      "file:Omber/configs/x\\y.json",
      "file:Omber/configs/caf\xc3\xa9.json",  // not ASCII
      "file:Omber/audio/x.json",              // another folder
      "file:Omber/configsx/y.json",
      "file:omber/configs/x.json",
      "file:Omber/configs",
      "file:Omber/configs/",
      "file:Omber/configs/x",  // no ".json" ending
      "file:Omber/configs/x.JSON",
      "file:Omber/configs/x.json ",
      "Omber/configs/x.json",  // no "file:"
      "FILE:Omber/configs/x.json",
      "v2.abc",
  };
  for (const char* text : rejected) EXPECT_FALSE(parseConfigReference(text)) << text;
  EXPECT_FALSE(parseConfigReference(std::string_view("file:Omber/configs/a\0b.json", 27)));
}

// Names Windows keeps for devices cannot be files there: refused everywhere,
// in any letter case and with any extension.
TEST(ConfigFiles, WindowsDeviceNamesAreRefused) {
  for (const char* name :
       {"CON", "con", "Prn", "aux", "NUL", "nul.txt", "COM1", "com9", "LPT1", "lpt9.backup", "Con.Json.x"}) {
    EXPECT_TRUE(isReservedDeviceName(name)) << name;
    EXPECT_FALSE(parseConfigReference(makeFileReference(name))) << name;
    EXPECT_EQ(reservedConfigName(makeFileReference(name)), std::optional<std::string>(name)) << name;
  }
  for (const char* name : {"CONS", "icon", "COM0", "COM10", "LPT", "nul_x", "_con", "aux-1", "a.con", "com1x.y"}) {
    EXPECT_FALSE(isReservedDeviceName(name)) << name;
    EXPECT_EQ(parseConfigReference(makeFileReference(name)), std::optional<std::string>(name)) << name;
    EXPECT_FALSE(reservedConfigName(makeFileReference(name))) << name;
  }
  EXPECT_FALSE(reservedConfigName("file:Omber/configs/CON"));  // not a reference at all
}

TEST(ConfigFiles, NewNamesAreIndependentTwelveDigitHex) {
  std::set<std::string> seen;
  std::set<char> digits;
  for (int i = 0; i < 64; ++i) {
    const std::string name = newConfigName();
    ASSERT_EQ(name.size(), 12u);
    for (const char c : name) {
      ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << name;
      digits.insert(c);
    }
    EXPECT_TRUE(parseConfigReference(makeFileReference(name)));
    seen.insert(name);
  }
  EXPECT_EQ(seen.size(), 64u);    // 48 random bits each: a repeat means no randomness
  EXPECT_EQ(digits.size(), 16u);  // 768 draws cover every digit
}

}  // namespace
}  // namespace omber::documents

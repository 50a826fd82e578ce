#include "core/server/commands.h"

#include <gtest/gtest.h>

namespace omber {
namespace {

TEST(Commands, TextsWithoutMembersAndWithNumbers) {
  EXPECT_EQ(commands::clearTimbreSource(), R"({"type":"clear_timbre_source"})");
  EXPECT_EQ(commands::clearStructureSource(), R"({"type":"clear_structure_source"})");
  EXPECT_EQ(commands::setPromptBlend(0.442), R"({"type":"set_prompt_blend","value":0.442})");
  EXPECT_EQ(commands::setTimbreStrength(100000), R"({"type":"set_timbre_strength","value":1e+05})");
  EXPECT_EQ(commands::enableLora("x", std::nullopt), R"({"type":"enable_lora","id":"x"})");
}

TEST(Commands, StringsAreEscapedByteByByte) {
  EXPECT_EQ(commands::disableLora(std::string("a\x01\"", 3)), R"({"type":"disable_lora","id":"a\u0001\""})");
  EXPECT_EQ(commands::setTimbreFixture("\\\b\t\n\f\r\x1f/\x7f\xc3\xa9"),
            "{\"type\":\"set_timbre_fixture\",\"name\":\"\\\\\\b\\t\\n\\f\\r\\u001f/\x7f\xc3\xa9\"}");
}

TEST(Commands, WriteAudioWritesOnlyThePresentMembers) {
  WriteAudioRequest request;
  EXPECT_EQ(commands::writeAudio(request), R"({"type":"write_audio"})");
  request.mix = "add";
  request.sourceEpoch = -2;
  EXPECT_EQ(commands::writeAudio(request), R"({"type":"write_audio","mix":"add","source_epoch":-2})");
}

}  // namespace
}  // namespace omber

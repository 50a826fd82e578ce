#include "core/server/commands.h"

#include <gtest/gtest.h>

#include "core/engine/telemetry.h"

namespace omber::server {
using namespace omber::base;
using namespace omber::documents;
using namespace omber::engine;
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

TEST(Commands, EveryCommandHasItsExactText) {
  EXPECT_EQ(commands::loopBand(4, 12), R"({"type":"loop_band","start_sec":4,"end_sec":12})");
  EXPECT_EQ(commands::enableLora("a\"b", 0.5), R"({"type":"enable_lora","id":"a\"b","strength":0.5})");
  EXPECT_EQ(commands::swapSource("drums"), R"({"type":"swap_source","use_server_source":true,"fixture_name":"drums"})");
  EXPECT_EQ(commands::setStructureFixture("verse"), R"({"type":"set_structure_fixture","name":"verse"})");
  EXPECT_EQ(commands::setTimbreSource("clip 1"), R"({"type":"set_timbre_source","name":"clip 1"})");
  EXPECT_EQ(commands::setStructureSource(""), R"({"type":"set_structure_source","name":""})");
  WriteAudioRequest write;
  write.at = 1.5;
  write.repeat = "fill";
  write.sourceEpoch = 3;
  EXPECT_EQ(commands::writeAudio(write), R"({"type":"write_audio","at_s":1.5,"repeat":"fill","source_epoch":3})");
}

TEST(Commands, HandshakeVariants) {
  SessionConfig config;
  EXPECT_EQ(commands::handshake(config), R"({"prompt":"","depth":4,"steps":8,"sde":false,"lora":true})");
  config.bpm = 120;
  EXPECT_EQ(commands::handshake(config), R"({"prompt":"","depth":4,"steps":8,"sde":false,"lora":true,"bpm":120})");
  config.bpm.reset();
  config.fixedDurationBackend = true;
  EXPECT_EQ(commands::handshake(config),
            R"({"prompt":"","depth":4,"steps":8,"sde":false,"lora":true,"backend":"sa3"})");
  config.duration = 7.5;
  config.prompt = "dark \"dub\"";
  config.sde = true;
  config.depth = 100000;
  EXPECT_EQ(commands::handshake(config), R"({"prompt":"dark \"dub\"","depth":1e+05,"steps":8,"sde":true,)"
                                         R"("lora":true,"backend":"sa3","sa3_duration_s":7.5})");
  // The duration is written only for the fixed-duration backend.
  config.fixedDurationBackend = false;
  EXPECT_EQ(commands::handshake(config).find("sa3"), std::string::npos);
}

TEST(Commands, SourceAudioKeepsATrailingPartialFrame) {
  const float samples[5] = {1, 2, 3, 4, 5};
  const auto message = commands::audioMessageOfSamples(samples, 5, 2);
  ASSERT_EQ(message.size(), 8u + 5 * 4);
  EXPECT_EQ(message[0], 2);
  EXPECT_EQ(message[4], 2);  // whole frames
  EXPECT_EQ(commands::audioMessage(samples, 2, 2).size(), 8u + 4 * 4);
  EXPECT_EQ(commands::audioMessageOfSamples(samples, 5, 0)[4], 5);
}

TEST(Telemetry, ParamsMessage) {
  EXPECT_EQ(paramsMessage({}, 12.5, 100, 2048),
            R"({"type":"params","raw":{},"playback_pos":12.5,"client_time":100,"slice_bytes_rx":2048})");
  const KnobTable knobs = {{"ch_g0", KnobValue::ofNumber(0.25)},
                           {"echo", KnobValue::ofBool(true)},
                           {"mode", KnobValue::ofString("say \"hi\"")}};
  EXPECT_EQ(knobTableJson(knobs), R"({"ch_g0":0.25,"echo":true,"mode":"say \"hi\""})");
  EXPECT_EQ(paramsMessage(knobs, 0, 1e-05, 0),
            R"({"type":"params","raw":{"ch_g0":0.25,"echo":true,"mode":"say \"hi\""},"playback_pos":0,)"
            R"("client_time":1e-05,"slice_bytes_rx":0})");
}

}  // namespace
}  // namespace omber::server

#include "core/server/commands.h"

#include <algorithm>

#include "core/base/json.h"
#include "link/frame.h"

namespace omber::server::commands {
using namespace omber::base;
namespace {

// {"type":"<type>"} with further members appended by the caller.
JsonObjectWriter command(std::string_view type) {
  JsonObjectWriter out;
  out.string("type", type);
  return out;
}

std::string withNumber(std::string_view type, std::string_view key, double value) {
  return command(type).number(key, value).close();
}

std::string withString(std::string_view type, std::string_view key, std::string_view value) {
  return command(type).string(key, value).close();
}

}  // namespace

std::string handshake(const SessionConfig& config) {
  JsonObjectWriter out;
  out.string("prompt", config.prompt)
      .number("depth", config.depth)
      .number("steps", config.steps)
      .boolean("sde", config.sde)
      .boolean("lora", config.lora);
  if (config.bpm) out.number("bpm", *config.bpm);
  if (config.fixedDurationBackend) {
    out.string("backend", "sa3");
    if (config.duration) out.number("sa3_duration_s", *config.duration);
  }
  return out.close();
}

std::string setPromptBlend(double value) { return withNumber("set_prompt_blend", "value", value); }
std::string setTimbreStrength(double value) { return withNumber("set_timbre_strength", "value", value); }
std::string clearTimbreSource() { return command("clear_timbre_source").close(); }
std::string clearStructureSource() { return command("clear_structure_source").close(); }

std::string enableLora(const std::string& id, std::optional<double> strength) {
  JsonObjectWriter out = command("enable_lora");
  out.string("id", id);
  if (strength) out.number("strength", *strength);
  return out.close();
}

std::string disableLora(const std::string& id) { return withString("disable_lora", "id", id); }

std::string swapSource(const std::string& fixtureName) {
  return command("swap_source").boolean("use_server_source", true).string("fixture_name", fixtureName).close();
}

std::string setTimbreFixture(const std::string& name) { return withString("set_timbre_fixture", "name", name); }
std::string setStructureFixture(const std::string& name) { return withString("set_structure_fixture", "name", name); }
std::string setTimbreSource(const std::string& name) { return withString("set_timbre_source", "name", name); }
std::string setStructureSource(const std::string& name) { return withString("set_structure_source", "name", name); }

std::string loopBand(double startSeconds, double endSeconds) {
  return command("loop_band").number("start_sec", startSeconds).number("end_sec", endSeconds).close();
}

std::string writeAudio(const WriteAudioRequest& request) {
  JsonObjectWriter out = command("write_audio");
  if (request.at) out.number("at_s", *request.at);
  if (!request.mix.empty()) out.string("mix", request.mix);
  if (!request.repeat.empty()) out.string("repeat", request.repeat);
  if (request.sourceEpoch) out.integer("source_epoch", *request.sourceEpoch);
  return out.close();
}

std::vector<std::uint8_t> audioMessageOfSamples(const float* samples, std::uint64_t sampleCount,
                                                std::int32_t channels) {
  // A count below 1 is written as 1, and then every sample counts as a frame.
  const std::uint32_t ch = static_cast<std::uint32_t>(std::max<std::int32_t>(channels, 1));
  std::vector<std::uint8_t> out;
  out.reserve(8 + sampleCount * sizeof(float));
  link::putU32(out, ch);
  link::putU32(out, static_cast<std::uint32_t>(sampleCount / ch));
  if (samples) {
    link::putF32s(out, samples, sampleCount);
  } else {
    out.resize(out.size() + sampleCount * sizeof(float), 0);  // silence: all-zero bytes are 0.0f
  }
  return out;
}

std::vector<std::uint8_t> audioMessage(const float* samples, std::uint64_t frames, std::int32_t channels) {
  const std::uint64_t ch = static_cast<std::uint64_t>(std::max<std::int32_t>(channels, 1));
  return audioMessageOfSamples(samples, frames * ch, channels);
}

}  // namespace omber::server::commands

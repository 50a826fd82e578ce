#include "core/server/commands.h"

#include <algorithm>

#include "core/host/number_text.h"
#include "link/frame.h"

namespace omber::commands {
namespace {

// Writes a quoted JSON string. Byte-for-byte the same escaping as the JSON
// codec's escapeJson; these builders move onto the codec's object writer
// once it is part of the core library.
void appendQuoted(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    switch (b) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 12: out += "\\f"; break;
      case 13: out += "\\r"; break;
      default:
        if (b < 32) {
          out += "\\u00";
          out += kHex[b >> 4];
          out += kHex[b & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

// {"type":"<type>" — the caller appends further members and the brace.
std::string begin(std::string_view type) {
  std::string out = "{\"type\":\"";
  out += type;
  out += '"';
  return out;
}

void appendNumberMember(std::string& out, std::string_view key, double value) {
  out += ",\"";
  out += key;
  out += "\":";
  appendNumber(out, value);
}

void appendStringMember(std::string& out, std::string_view key, std::string_view value) {
  out += ",\"";
  out += key;
  out += "\":";
  appendQuoted(out, value);
}

std::string withNumber(std::string_view type, std::string_view key, double value) {
  std::string out = begin(type);
  appendNumberMember(out, key, value);
  out += '}';
  return out;
}

std::string withString(std::string_view type, std::string_view key, std::string_view value) {
  std::string out = begin(type);
  appendStringMember(out, key, value);
  out += '}';
  return out;
}

}  // namespace

std::string setPromptBlend(double value) { return withNumber("set_prompt_blend", "value", value); }
std::string setTimbreStrength(double value) { return withNumber("set_timbre_strength", "value", value); }
std::string clearTimbreSource() { return begin("clear_timbre_source") + '}'; }
std::string clearStructureSource() { return begin("clear_structure_source") + '}'; }

std::string enableLora(const std::string& id, std::optional<double> strength) {
  std::string out = begin("enable_lora");
  appendStringMember(out, "id", id);
  if (strength) appendNumberMember(out, "strength", *strength);
  out += '}';
  return out;
}

std::string disableLora(const std::string& id) { return withString("disable_lora", "id", id); }

std::string swapSource(const std::string& fixtureName) {
  std::string out = begin("swap_source");
  out += ",\"use_server_source\":true";
  appendStringMember(out, "fixture_name", fixtureName);
  out += '}';
  return out;
}

std::string setTimbreFixture(const std::string& name) { return withString("set_timbre_fixture", "name", name); }
std::string setStructureFixture(const std::string& name) {
  return withString("set_structure_fixture", "name", name);
}
std::string setTimbreSource(const std::string& name) { return withString("set_timbre_source", "name", name); }
std::string setStructureSource(const std::string& name) {
  return withString("set_structure_source", "name", name);
}

std::string loopBand(double startSeconds, double endSeconds) {
  std::string out = begin("loop_band");
  appendNumberMember(out, "start_sec", startSeconds);
  appendNumberMember(out, "end_sec", endSeconds);
  out += '}';
  return out;
}

std::string writeAudio(const WriteAudioRequest& request) {
  std::string out = begin("write_audio");
  if (request.at) appendNumberMember(out, "at_s", *request.at);
  if (!request.mix.empty()) appendStringMember(out, "mix", request.mix);
  if (!request.repeat.empty()) appendStringMember(out, "repeat", request.repeat);
  if (request.sourceEpoch) {
    out += ",\"source_epoch\":";
    out += std::to_string(*request.sourceEpoch);
  }
  out += '}';
  return out;
}

std::vector<std::uint8_t> audioMessage(const float* samples, std::uint64_t frames, std::int32_t channels) {
  // A count below 1 is written as 1, and then every sample counts as a frame.
  const std::uint32_t ch = static_cast<std::uint32_t>(std::max<std::int32_t>(channels, 1));
  const std::uint64_t count = frames * ch;
  std::vector<std::uint8_t> out;
  out.reserve(8 + count * sizeof(float));
  link::putU32(out, ch);
  link::putU32(out, static_cast<std::uint32_t>(count / ch));
  if (samples) {
    link::putF32s(out, samples, count);
  } else {
    out.resize(out.size() + count * sizeof(float), 0);  // silence: all-zero bytes are 0.0f
  }
  return out;
}

void send(const OutletFn& outlet, std::string_view data) {
  send(outlet, std::vector<std::uint8_t>(data.begin(), data.end()));
}

void send(const OutletFn& outlet, std::vector<std::uint8_t> data) {
  Atoms atoms;
  atoms.emplace_back(std::move(data));
  outlet("ws:send", atoms);
}

}  // namespace omber::commands

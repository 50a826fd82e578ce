#include "core/documents/preset_document.h"

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "core/base/base64.h"
#include "core/base/compression.h"

namespace omber::documents {
using namespace omber::base;

const std::string_view kPresetEngineFragment =
    R"("sde":false,"lora":true,"depth":4,"vae_window":0.36,"crop":0,"steps":8,"fast_vae":false,)"
    R"("walk_window":false,"walk_window_s":60,"lead_floor_s":0.25,"lead_ceiling_s":1.35,)"
    R"("lead_release_tau_s":1.5,"max_source_duration_s":120,"key":"G# minor","time_signature":"4",)";

const std::string_view kPresetFixedFragment =
    R"(,"channel_ranges":{"ch_g0":{"min":0,"max":2.2,"reverse":false},"ch_g1":{"min":0,"max":2,)"
    R"("reverse":false},"ch_g2":{"min":0,"max":2.3,"reverse":true},"ch_g3":{"min":0,"max":2,)"
    R"("reverse":false},"ch_g4":{"min":0,"max":2.5,"reverse":false},"ch_g5":{"min":0,"max":2,)"
    R"("reverse":false},"ch_g6":{"min":0,"max":2,"reverse":true},"ch_g7":{"min":0,"max":2,)"
    R"("reverse":true},"ch13":{"min":0,"max":2,"reverse":true},"ch14":{"min":0,"max":2.3,)"
    R"("reverse":false},"ch19":{"min":0,"max":2.5,"reverse":false},"ch23":{"min":0,"max":2.45,)"
    R"("reverse":false},"ch29":{"min":0,"max":2,"reverse":false},"ch56":{"min":0,"max":2,)"
    R"("reverse":false}},"seed":0,"swap_source_mode":"instruments",)"
    R"("web":{"effects":{"parallax_strength":0.4,"bloom_on_kick":0.3,"bloom_threshold":0.15,)"
    R"("warp_strength":0.4},"audio":{"lufs_enabled":false,"lufs_window_sec":3,"lufs_metric":"lufs",)"
    R"("lufs_peak_headroom":4,"lufs_silence_floor_db":30,"lufs_silence_floor_hysteresis_db":6},)"
    R"("reset_seconds":0,"denoise_session_gate":{"enabled":true,"glide_ms":700},)"
    R"("restart_song_on_swap":true})";

namespace {

using KnobPairs = std::vector<std::pair<std::string, KnobValue>>;

bool isNumberKnob(const KnobValue* value) { return value && value->kind == KnobValue::Number; }

// The number-valued knobs of the table that are neither LoRA strengths nor
// already written.
void appendOtherNumberKnobs(KnobPairs& out, const KnobTable& knobs, const std::set<std::string_view>& written) {
  for (const auto& [name, value] : knobs) {
    if (value.kind != KnobValue::Number || isLoraStrengthKnob(name) || written.count(name)) continue;
    out.emplace_back(name, value);
  }
}

// Every default knob (the engine's number where it holds one), then the
// engine's other number knobs.
std::string presetControls(const KnobTable& knobs) {
  KnobPairs out;
  std::set<std::string_view> written;
  for (const auto& [name, fallback] : knobDefaults()) {
    const KnobValue* current = findKnob(knobs, name);
    out.emplace_back(name, isNumberKnob(current) ? *current : fallback);
    written.insert(name);
  }
  appendOtherNumberKnobs(out, knobs, written);
  return jsonObjectFromScalars(out);
}

// The manifest's knobs (the engine's number, else a numeric default, else
// left out), then the engine's other number knobs.
std::string snapshotKnobs(const KnobTable& knobs, const JsonValue* manifest) {
  KnobPairs out;
  std::set<std::string_view> written;
  if (manifest) {
    for (const JsonMember& m : manifest->members()) {
      if (isLoraStrengthKnob(m.key()) || !written.insert(m.key()).second) continue;
      const KnobValue* current = findKnob(knobs, m.key());
      if (isNumberKnob(current)) {
        out.emplace_back(m.key(), *current);
      } else if (const std::optional<double> fallback = optNumber(m.value, "default");
                 fallback && std::isfinite(*fallback)) {
        out.emplace_back(m.key(), KnobValue::ofNumber(*fallback));
      }
    }
  }
  appendOtherNumberKnobs(out, knobs, written);
  return jsonObjectFromScalars(out);
}

std::string enabledLoras(const LoraSlots& slots, const LoraCatalog& catalog) {
  std::string out = "[";
  for (const LoraSlot& slot : slots) {
    if (slot.id.empty()) continue;
    const std::int32_t number = catalogNumberOfId(catalog, slot.id);
    const std::string& catalogName = number ? catalog[static_cast<std::size_t>(number - 1)].name : slot.id;
    if (out.size() > 1) out += ',';
    out += JsonObjectWriter()
               .string("name", catalogName.empty() ? slot.id : catalogName)
               .number("strength", slot.strength)
               .close();
  }
  out += ']';
  return out;
}

std::string snapshotLoras(const LoraSlots& slots) {
  std::string out = "[";
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (i) out += ',';
    JsonObjectWriter entry;
    entry.integer("slot", static_cast<std::int64_t>(i + 1));
    if (slots[i].id.empty()) {
      entry.raw("id", "null");
    } else {
      entry.string("id", slots[i].id);
    }
    out += entry.number("strength", slots[i].strength).close();
  }
  out += ']';
  return out;
}

std::string loopObject(const StoredState& state) {
  return JsonObjectWriter().integer("startBar", state.loopStartBar).integer("lenBars", state.loopLength).close();
}

std::optional<JsonValue> parseObject(std::string_view text) {
  JsonValue doc;
  if (!parseJson(text, doc) || !doc.isObject()) return std::nullopt;
  return doc;
}

}  // namespace

std::string presetDocument(const StoredState& state) {
  std::string engine = "{";
  engine += kPresetEngineFragment;
  engine += "\"enabled_loras\":";
  engine += enabledLoras(state.slots, state.catalog);
  engine += R"(,"auto_prepend_lora_triggers":true,"show_incompatible_loras":false})";

  const std::string prompts =
      JsonObjectWriter().string("a", state.promptA).string("b", state.promptB).number("blend", state.blend).close();

  // The fixed members follow "controls" and begin with their own comma, so
  // they ride along in the raw text of that member.
  std::string controls = presetControls(state.knobs);
  controls += kPresetFixedFragment;

  JsonObjectWriter doc;
  doc.integer("version", 1).raw("engine", engine).raw("prompts", prompts).raw("controls", controls);
  doc.raw("ableton", JsonObjectWriter().raw("loop", loopObject(state)).number("quantBars", state.quantBars).close());
  if (!state.timbre.empty() || !state.structure.empty()) {
    JsonObjectWriter inputs;
    if (!state.timbre.empty()) inputs.raw("timbre", state.timbre);
    if (!state.structure.empty()) inputs.raw("structure", state.structure);
    doc.raw("inputs", inputs.close());
  }
  return doc.close();
}

std::string snapshotDocument(const StoredState& state) {
  return JsonObjectWriter()
      .raw("knobs", snapshotKnobs(state.knobs, state.manifestKnobs))
      .string("prompt", state.promptA)
      .string("promptB", state.promptB)
      .number("blend", state.blend)
      .raw("loras", snapshotLoras(state.slots))
      .raw("loop", loopObject(state))
      .number("quantBars", state.quantBars)
      .raw("selectedFixture", "null")
      .close();
}

std::string fixtureDescriptor(std::string_view name) {
  return JsonObjectWriter().string("kind", "fixture").string("name", name).close();
}

std::string clipDescriptor(std::string_view name, std::string_view wavBase64) {
  return JsonObjectWriter().string("kind", "clip").string("name", name).string("wavBase64", wavBase64).close();
}

std::string encodeSnapshotText(std::string_view document) {
  const std::vector<std::uint8_t> packed =
      deflateRaw(reinterpret_cast<const std::uint8_t*>(document.data()), document.size());
  return "v2." + base64EncodeSnapshot(packed.data(), packed.size());
}

std::optional<JsonValue> decodeSnapshotText(std::string_view text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view prefix = text.substr(0, dot);
  if (prefix != "v1" && prefix != "v2") return std::nullopt;
  std::vector<std::uint8_t> bytes = base64DecodeSnapshot(text.substr(dot + 1));
  if (prefix == "v2") {
    try {
      bytes = inflateRaw(bytes.data(), bytes.size());
    } catch (const CompressionError&) {
      return std::nullopt;
    }
  }
  return parseObject(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<JsonValue> parsePresetText(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return parseObject(text);
}

}  // namespace omber::documents

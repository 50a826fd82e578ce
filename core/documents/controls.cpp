#include "core/documents/controls.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/base/text.h"

namespace omber::documents {
using namespace omber::base;
namespace {

constexpr std::string_view kLoraStrengthPrefix = "lora_str_";

bool isWhitespace(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// Sets and echoes one knob from a JSON value; false when the value cannot
// be a knob value.
bool setFromJson(KnobTable& table, std::string_view name, const JsonValue& value, ITransport& transport) {
  std::optional<KnobValue> knob = knobValueFromJson(value);
  if (!knob) return false;
  echoKnob(transport, name, *knob);
  setKnob(table, name, std::move(*knob));
  return true;
}

// The manifest entry's "default", or nullptr.
const JsonValue* manifestDefault(const JsonValue& entry) { return find(entry, "default"); }

}  // namespace

std::optional<KnobValue> knobValueFromJson(const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::String: return KnobValue::ofString(std::string(value.text()));
    case JsonValue::Kind::Bool: return KnobValue::ofBool(value.boolean());
    case JsonValue::Kind::Number:
      if (!std::isfinite(value.number())) return std::nullopt;
      return KnobValue::ofNumber(value.number());
    default: return KnobValue::ofNumber(0.0);
  }
}

const KnobValue* findKnob(const KnobTable& table, std::string_view name) {
  for (const auto& entry : table) {
    if (entry.first == name) return &entry.second;
  }
  return nullptr;
}

void setKnob(KnobTable& table, std::string_view name, KnobValue value) {
  for (auto& entry : table) {
    if (entry.first == name) {
      entry.second = std::move(value);
      return;
    }
  }
  table.emplace_back(std::string(name), std::move(value));
}

void clearKnob(KnobTable& table, std::string_view name) {
  table.erase(std::remove_if(table.begin(), table.end(), [&](const auto& entry) { return entry.first == name; }),
              table.end());
}

std::string knobTableJson(const KnobTable& table) { return jsonObjectFromScalars(table); }

const KnobTable& knobDefaults() {
  static const KnobTable table = [] {
    KnobTable t;
    const auto number = [&t](const char* name, double v) { t.emplace_back(name, KnobValue::ofNumber(v)); };
    number("denoise", 0.7);
    number("hint_strength", 1.0);
    number("feedback", 0.0);
    number("feedback_depth", 1.0);
    number("shift", 3.5);
    for (const char* gain : {"ch_g0", "ch_g1", "ch_g2", "ch_g3", "ch_g4", "ch_g5", "ch_g6", "ch_g7", "ch13", "ch14",
                             "ch19", "ch23", "ch29", "ch56"}) {
      number(gain, 1.0);
    }
    number("dcw_scaler", 0.05);
    number("dcw_high_scaler", 0.02);
    t.emplace_back("dcw_enabled", KnobValue::ofBool(true));
    t.emplace_back("dcw_mode", KnobValue::ofString("double"));
    t.emplace_back("dcw_wavelet", KnobValue::ofString("haar"));
    number("lora_default_strength", 1.4);
    number("guidance_scale", 7.0);
    number("cfg_rescale", 0.0);
    t.emplace_back("rcfg_mode", KnobValue::ofString("off"));
    return t;
  }();
  return table;
}

bool isLoraStrengthKnob(std::string_view name) {
  return name.substr(0, kLoraStrengthPrefix.size()) == kLoraStrengthPrefix;
}

std::string loraStrengthKnob(std::string_view id) {
  std::string name(kLoraStrengthPrefix);
  name += id;
  return name;
}

const JsonValue* manifestKnobs(const JsonValue& manifest) {
  const JsonValue* knobs = find(manifest, "knobs");
  return knobs && knobs->isObject() ? knobs : nullptr;
}

std::pair<double, double> macroRange(const JsonValue* knobs, std::string_view name) {
  std::pair<double, double> range{0.0, 1.0};
  const JsonValue* entry = knobs ? find(*knobs, name) : nullptr;
  if (entry && entry->isObject()) {
    range.first = optNumber(*entry, "min").value_or(range.first);
    range.second = optNumber(*entry, "max").value_or(range.second);
  }
  return range;
}

LoraCatalog parseLoraCatalog(std::string_view text) {
  LoraCatalog catalog;
  JsonValue doc;
  if (!parseJson(text, doc) || !doc.isArray()) return catalog;
  catalog.reserve(doc.items().size());
  for (const JsonValue& item : doc.items()) {
    catalog.push_back({optString(item, "id").value_or(""), optString(item, "name").value_or(""),
                       optString(item, "trigger").value_or("")});
  }
  return catalog;
}

std::int32_t catalogNumberOfId(const LoraCatalog& catalog, std::string_view id) {
  if (id.empty()) return 0;
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    if (catalog[i].id == id) return static_cast<std::int32_t>(i + 1);
  }
  return 0;
}

std::int32_t catalogNumberOfName(const LoraCatalog& catalog, std::string_view name) {
  if (name.empty()) return 0;
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    if (catalog[i].name == name) return static_cast<std::int32_t>(i + 1);
  }
  return 0;
}

void echoNumber(ITransport& transport, std::string_view name, double value) {
  transport.emit("echo", Atoms{Atom(std::string(name)), Atom(value)});
}

void echoWords(ITransport& transport, std::string_view name, std::string_view text) {
  Atoms atoms{Atom(std::string(name))};
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isWhitespace(text[i])) ++i;
    const std::size_t begin = i;
    while (i < text.size() && !isWhitespace(text[i])) ++i;
    if (i > begin) atoms.emplace_back(std::string(text.substr(begin, i - begin)));
  }
  transport.emit("echo", std::move(atoms));
}

void echoKnob(ITransport& transport, std::string_view name, const KnobValue& value) {
  switch (value.kind) {
    case KnobValue::Bool: echoNumber(transport, name, value.flag ? 1.0 : 0.0); break;
    case KnobValue::String: echoWords(transport, name, value.text); break;
    default: echoNumber(transport, name, value.number);
  }
}

void applyControls(KnobTable& table, const JsonValue* manifest, const JsonValue* controls, ITransport& transport) {
  KnobTable working = knobDefaults();
  if (controls && controls->isObject()) {
    for (const JsonMember& m : controls->members()) {
      if (std::optional<KnobValue> v = knobValueFromJson(m.value)) setKnob(working, m.key(), std::move(*v));
    }
  }
  std::set<std::string_view> walked;
  if (manifest) {
    for (const JsonMember& m : manifest->members()) {
      if (isLoraStrengthKnob(m.key())) continue;
      walked.insert(m.key());
      if (const KnobValue* v = findKnob(working, m.key())) {
        echoKnob(transport, m.key(), *v);
        setKnob(table, m.key(), *v);
      } else if (const JsonValue* fallback = manifestDefault(m.value)) {
        setFromJson(table, m.key(), *fallback, transport);
      }
    }
  }
  for (const auto& [name, value] : working) {
    if (isLoraStrengthKnob(name) || walked.count(name)) continue;
    echoKnob(transport, name, value);
    setKnob(table, name, value);
  }
}

void applyKnobSnapshot(KnobTable& table, const JsonValue* manifest, const JsonValue* knobs, ITransport& transport) {
  std::set<std::string_view> walked;
  if (manifest) {
    for (const JsonMember& m : manifest->members()) {
      if (isLoraStrengthKnob(m.key())) continue;
      walked.insert(m.key());
      const JsonValue* stored = knobs ? find(*knobs, m.key()) : nullptr;
      if (stored && setFromJson(table, m.key(), *stored, transport)) continue;
      if (const JsonValue* fallback = manifestDefault(m.value)) setFromJson(table, m.key(), *fallback, transport);
    }
  }
  if (!knobs || !knobs->isObject()) return;
  for (const JsonMember& m : knobs->members()) {
    if (isLoraStrengthKnob(m.key()) || walked.count(m.key())) continue;
    setFromJson(table, m.key(), m.value, transport);
  }
}

}  // namespace omber::documents

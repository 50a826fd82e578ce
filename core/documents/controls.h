// The performer's control state kept for the inference server: knob values,
// macro bindings, the server's LoRA catalog and the two LoRA slots, with the
// operations the inlets and the preset documents share.
//
// Plain data owned by the engine and pure functions over it; JavaScript
// thread only (the defaults table alone is safe from any thread). Nothing
// here is realtime-safe.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/atom.h"
#include "core/base/json.h"
#include "core/base/transport.h"

namespace omber::documents {

using base::Atom;
using base::Atoms;
using base::JsonScalar;
using base::JsonValue;
using base::ITransport;

// One knob's value: a number (kind Number), a switch (Bool) or a word
// (String). The same tagged value the JSON writers take, so the knob table
// is written as an object by jsonObjectFromScalars.
using KnobValue = JsonScalar;

// Ordered (name, value) pairs with unique names, in the order of first setting.
using KnobTable = std::vector<std::pair<std::string, KnobValue>>;

// Macro index -> bound knob name (possibly empty).
using MacroBindings = std::map<std::int32_t, std::string>;

// One adapter the server offers.
struct LoraCatalogEntry {
  std::string id;
  std::string name;
  std::string trigger;  // words prompt composition may prepend
};

using LoraCatalog = std::vector<LoraCatalogEntry>;

// An empty id means the slot is unused.
struct LoraSlot {
  std::string id;
  double strength = 1.0;
};

// Slots 1 and 2 in every message are indices 0 and 1.
using LoraSlots = std::array<LoraSlot, 2>;

// ---- knob values and the knob table ----

// A JSON string gives a word, a boolean a switch, a number that number, and
// null, arrays and objects the number 0. A non-finite number (a document's
// 1e999) gives nothing: such a value could not be written back as JSON.
std::optional<KnobValue> knobValueFromJson(const JsonValue& value);

// The entry of that name, or nullptr.
const KnobValue* findKnob(const KnobTable& table, std::string_view name);
// Updates the entry in place, or appends it.
void setKnob(KnobTable& table, std::string_view name, KnobValue value);
// Removes the entry, keeping the order of the others; unknown names are ignored.
void clearKnob(KnobTable& table, std::string_view name);
// One member per knob in table order; `{}` when empty.
std::string knobTableJson(const KnobTable& table);

// The 28 knobs every preset carries, in their fixed order, with their
// defaults. Built once (thread-safe one-time initialisation), never changed.
const KnobTable& knobDefaults();

// Knobs named "lora_str_<id>" carry a LoRA slot's strength; only the slots
// write them.
bool isLoraStrengthKnob(std::string_view name);
std::string loraStrengthKnob(std::string_view id);

// ---- the knob manifest of the server's readiness information ----

// Its "knobs" object, or nullptr when there is no manifest.
const JsonValue* manifestKnobs(const JsonValue& manifest);
// The value range a macro maps onto: 0..1, or the manifest's numeric "min"
// and "max" of that knob where present.
std::pair<double, double> macroRange(const JsonValue* knobs, std::string_view name);

// ---- the LoRA catalog ----

// A JSON array of {"id","name","trigger"} objects; members that are not
// strings read as empty, anything but an array gives an empty catalog.
LoraCatalog parseLoraCatalog(std::string_view text);
// 1-based position of the first entry with that id (or name); 0 for an empty
// or unknown one.
std::int32_t catalogNumberOfId(const LoraCatalog& catalog, std::string_view id);
std::int32_t catalogNumberOfName(const LoraCatalog& catalog, std::string_view name);

// ---- echoes to the device's interface ----

// "echo" with the name and the number.
void echoNumber(ITransport& transport, std::string_view name, double value);
// "echo" with the name and one text atom per whitespace-separated word.
void echoWords(ITransport& transport, std::string_view name, std::string_view text);
// A knob's value as its kind echoes it: a number, 1 or 0, or words.
void echoKnob(ITransport& transport, std::string_view name, const KnobValue& value);

// ---- stored controls applied to the knob table (each set knob is echoed) ----

// A preset's "controls" (an object, or nullptr): the defaults overridden by
// the controls, then the manifest's knobs first, each from the controls or
// its manifest default, then the rest in order. "lora_str_" names are never
// applied.
void applyControls(KnobTable& table, const JsonValue* manifestKnobs, const JsonValue* controls, ITransport& transport);
// A snapshot's "knobs" (an object, or nullptr): the manifest's knobs first,
// each from the snapshot or its manifest default, then the snapshot's other
// members in order.
void applyKnobSnapshot(KnobTable& table, const JsonValue* manifestKnobs, const JsonValue* knobs, ITransport& transport);

}  // namespace omber::documents

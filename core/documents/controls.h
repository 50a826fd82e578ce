// The performer's control state kept for the inference server: knob values,
// macro bindings, the server's LoRA catalog and the two LoRA slots.
// Plain data owned by the engine; JavaScript thread only.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace omber {

// One knob's value: a number, a switch or a word.
struct KnobValue {
  enum Kind : std::uint32_t { Number = 0, Switch = 1, Word = 2 };

  std::uint32_t kind = Number;
  double number = 0.0;  // kind Number
  bool flag = false;    // kind Switch
  std::string text;     // kind Word
};

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

}  // namespace omber

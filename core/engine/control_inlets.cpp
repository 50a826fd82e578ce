// Knobs, macros, the LoRA slots and the LoRA catalog.
//
// A number that would be stored must be finite: the knob table is written
// into the telemetry and the stored documents, where "inf" is not JSON. A
// non-finite value is ignored and the state stays as it was.
#include <algorithm>
#include <cmath>

#include "core/documents/controls.h"
#include "core/engine/engine.h"
#include "core/base/number_text.h"
#include "core/base/text.h"
#include "core/server/commands.h"

namespace omber::engine {

const JsonValue* Engine::knobManifest() const { return manifestKnobs(session_.knobManifest); }

void Engine::onKnob(const Atoms& atoms) {
  const double value = numberAt(atoms, 1);
  if (std::isfinite(value)) setKnob(settings_.knobs, stringAt(atoms, 0), KnobValue::ofNumber(value));
}

void Engine::onKnobEnum(const Atoms& atoms) {
  setKnob(settings_.knobs, stringAt(atoms, 0), KnobValue::ofString(stringAt(atoms, 1)));
}

void Engine::onKnobClear(const Atoms& atoms) { clearKnob(settings_.knobs, stringAt(atoms, 0)); }

// Rebinding a macro removes the knob it drove, so a knob the performer no
// longer controls falls back to the server's own value.
void Engine::onMacro(const Atoms& atoms) {
  std::string name = stringAt(atoms, 1);
  std::string& bound = settings_.macros[roundToInt32(numberAt(atoms, 0))];
  if (!bound.empty() && bound != name) clearKnob(settings_.knobs, bound);
  bound = std::move(name);
}

// Maps 0..1 onto the bound knob's range. Nothing is echoed or sent: the
// value reaches the server with the next telemetry message.
void Engine::onMacroVal(const Atoms& atoms) {
  const auto binding = settings_.macros.find(roundToInt32(numberAt(atoms, 0)));
  if (binding == settings_.macros.end() || binding->second.empty()) return;
  const double amount = numberAt(atoms, 1);
  if (!std::isfinite(amount)) return;
  const auto [low, high] = macroRange(knobManifest(), binding->second);
  const double value = low + std::clamp(amount, 0.0, 1.0) * (high - low);
  if (std::isfinite(value)) setKnob(settings_.knobs, binding->second, KnobValue::ofNumber(value));
}

void Engine::onLoraSlot(const Atoms& atoms) {
  selectLoraSlot(roundToInt32(numberAt(atoms, 0)), roundToInt32(numberAt(atoms, 1)));
}

void Engine::onLoraStrength(const Atoms& atoms) {
  const double strength = numberAt(atoms, 1);
  if (std::isfinite(strength)) setLoraStrength(roundToInt32(numberAt(atoms, 0)), strength);
}

void Engine::onCloudCatalog(const Atoms& atoms) {
  const std::string text = stringAt(atoms, 0);
  if (text.size() > kMaxCatalogJsonBytes) {
    transport_.emitStatus(oversizeStatus("LoRA catalog", text.size(), kMaxCatalogJsonBytes));
    return;
  }
  settings_.loraCatalog = parseLoraCatalog(text);
}

void Engine::selectLoraSlot(std::int32_t slotNumber, std::int32_t catalogNumber) {
  if (slotNumber < 1 || slotNumber > 2) return;
  LoraSlot& slot = settings_.loraSlots[static_cast<std::size_t>(slotNumber - 1)];
  const LoraCatalog& catalog = settings_.loraCatalog;
  const bool listed = catalogNumber >= 1 && static_cast<std::size_t>(catalogNumber) <= catalog.size();
  const std::string id = listed ? catalog[static_cast<std::size_t>(catalogNumber - 1)].id : std::string();
  if (id == slot.id) return;
  if (!slot.id.empty()) {
    clearKnob(settings_.knobs, loraStrengthKnob(slot.id));
    if (live_.readiness().ready()) sendCommand(commands::disableLora(slot.id));
  }
  slot.id = id;
  if (!id.empty()) {
    if (live_.readiness().ready()) transport_.sendEnableLora(id, slot.strength);
    setKnob(settings_.knobs, loraStrengthKnob(id), KnobValue::ofNumber(slot.strength));
  }
  rebuildSessionLoras();
  sendPrompt();  // the trigger words follow the selected LoRAs
}

// The server hears the new strength through the knob in the next telemetry.
void Engine::setLoraStrength(std::int32_t slotNumber, double strength) {
  if (slotNumber < 1 || slotNumber > 2) return;
  LoraSlot& slot = settings_.loraSlots[static_cast<std::size_t>(slotNumber - 1)];
  slot.strength = strength;
  if (!slot.id.empty()) setKnob(settings_.knobs, loraStrengthKnob(slot.id), KnobValue::ofNumber(strength));
  rebuildSessionLoras();
}

void Engine::rebuildSessionLoras() {
  for (std::size_t i = 0; i < settings_.loraSlots.size(); ++i) {
    const LoraSlot& slot = settings_.loraSlots[i];
    SessionLora& entry = live_.sessionLoras[i];
    entry.id = slot.id.empty() ? std::nullopt : std::optional<std::string>(slot.id);
    entry.strength = slot.strength;
  }
}

}  // namespace omber::engine

// Knobs, macros, the LoRA slots and the LoRA catalog. Their behaviour
// arrives with the controls; until then the selectors are accepted and do
// nothing. A handler that stores a number must keep non-finite values out of
// the stored state, as every setter of the engine does.
#include "core/engine/engine.h"

namespace omber {

void Engine::onKnob(const Atoms&) {}
void Engine::onKnobEnum(const Atoms&) {}
void Engine::onKnobClear(const Atoms&) {}
void Engine::onMacro(const Atoms&) {}
void Engine::onMacroVal(const Atoms&) {}
void Engine::onLoraSlot(const Atoms&) {}
void Engine::onLoraStrength(const Atoms&) {}
void Engine::onCloudCatalog(const Atoms&) {}

}  // namespace omber

// Presets and snapshots: saving the performance state and recalling it.
// The behaviour arrives with the preset document; until then the selectors
// are accepted and do nothing.
#include "core/engine/engine.h"

namespace omber {

void Engine::onPresetData(const Atoms&) {}
void Engine::onSnapshotReq(const Atoms&) {}
void Engine::onRecall(const Atoms&) {}

}  // namespace omber

// Audio export: the source buffer (or its loop region) as a WAV file in the
// Live Set folder. The behaviour arrives with the WAV codec; until then the
// selector is accepted and does nothing.
#include "core/engine/engine.h"

namespace omber {

void Engine::onAudioExportReq(const Atoms&) {}

}  // namespace omber

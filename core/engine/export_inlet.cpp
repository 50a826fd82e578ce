// "audio_export_req": the source buffer, limited to the current loop region,
// as a WAV file in the Live Set folder.
#include "core/engine/audio_export.h"
#include "core/engine/engine.h"

namespace omber::engine {

void Engine::onAudioExportReq(const Atoms&) {
  exportAudio(source_, live_.grid().loopRegion(), settings_.liveSetFolder, transport_);
}

}  // namespace omber::engine

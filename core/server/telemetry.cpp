// The periodic "params" message: knob values, play head, client time and
// received slice bytes, sent on every parameter tick while ready and
// playing. Its text arrives with the telemetry; until then nothing is sent.
#include "core/engine/engine.h"

namespace omber {

void Engine::sendTelemetry() {}

}  // namespace omber

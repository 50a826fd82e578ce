// The periodic "params" message: knob values, play head, client time and
// received slice bytes, sent on every parameter tick while ready and playing.
#include "core/engine/telemetry.h"

#include <chrono>
#include <limits>

#include "core/engine/engine.h"
#include "core/server/commands.h"
#include "core/base/json.h"

namespace omber::engine {

std::string paramsMessage(const KnobTable& knobs, double playbackSeconds, double clientSeconds,
                          std::uint64_t sliceBytesReceived) {
  // The counter cannot pass 2^63 bytes in practice; saturate rather than wrap.
  const std::int64_t bytes = sliceBytesReceived > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                                 ? std::numeric_limits<std::int64_t>::max()
                                 : static_cast<std::int64_t>(sliceBytesReceived);
  JsonObjectWriter out;
  return out.string("type", "params")
      .raw("raw", knobTableJson(knobs))
      .number("playback_pos", playbackSeconds)
      .number("client_time", clientSeconds)
      .integer("slice_bytes_rx", bytes)
      .close();
}

double steadyClockSeconds() {
  const auto ticks =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<double>(ticks.count()) / 1e9;
}

// Called by "tick:param" only while ready and playing.
void Engine::sendTelemetry() {
  transport_.sendServerText(paramsMessage(settings_.knobs, live_.playback().reportedPlayHead(), steadyClockSeconds(),
                                          session_.bytesReceived));
}

}  // namespace omber::engine

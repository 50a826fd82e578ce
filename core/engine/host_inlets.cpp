// Events of the host: bridge connections, the server WebSocket, the cloud
// lookups and the timers.
#include <cmath>

#include "core/engine/engine.h"
#include "core/base/number_text.h"
#include "core/server/commands.h"

namespace omber::engine {
namespace {

// Ticks between two waveform peaks reports while playing.
constexpr std::int32_t kPeaksEvery = 125;

}  // namespace

void Engine::onExtConn(const Atoms& atoms) { endpoints_.onConnect(intAt(atoms, 0)); }

void Engine::onExtData(const Atoms& atoms) {
  if (atoms.size() < 2 || !atoms[1].isBytes()) return;
  const std::vector<std::uint8_t>& bytes = atoms[1].bytes;
  endpoints_.onData(intAt(atoms, 0), bytes.data(), bytes.size());
}

void Engine::onExtClose(const Atoms& atoms) { endpoints_.onClose(intAt(atoms, 0)); }

void Engine::onWsOpen(const Atoms&) { session_.onOpen(); }

void Engine::onWsData(const Atoms& atoms) {
  if (atoms.empty() || !atoms[0].isBytes()) return;
  const std::vector<std::uint8_t>& bytes = atoms[0].bytes;
  const bool awaitingSource = session_.state == ServerSession::State::AwaitingSource;
  session_.onData(bytes.data(), bytes.size(), numberAt(atoms, 1) != 0);  // not-a-number counts as binary
  if (awaitingSource && session_.state == ServerSession::State::Streaming) restateSteering();
}

// A new stream (after "start", a reconnect or a new source) runs on a server
// session that heard only tag text A in the handshake. Prompt B and the
// blend the performer set are stated again, so a lost connection does not
// silently drop them; the glide then continues from the stated blend.
void Engine::restateSteering() {
  if (!live_.readiness().ready() || !live_.playback().playing()) return;
  if (settings_.promptB) sendPrompt();
  settings_.blendCurrent = settings_.blendTarget;
  settings_.blendSmoothingStarted = true;
  sendCommand(commands::setPromptBlend(settings_.blendCurrent));
}

void Engine::onWsClose(const Atoms& atoms) { session_.onClose(intAt(atoms, 0)); }

void Engine::onWsBuffered(const Atoms& atoms) { settings_.serverBuffered = truncateToInt64(numberAt(atoms, 0)); }

void Engine::onCloudWsUrl(const Atoms& atoms) { session_.onEndpoint(stringAt(atoms, 0)); }

void Engine::onCloudError(const Atoms& atoms) { session_.onEndpointError(stringAt(atoms, 0)); }

void Engine::onTickParam(const Atoms&) {
  if (live_.readiness().ready() && live_.playback().playing()) {
    glideBlend();
    sendTelemetry();
  }
  if (live_.playback().playing()) {
    // The first tick of playing reports, then every 125th.
    if (settings_.peaksCountdown <= 0) {
      live_.playback().reportPeaks();
      settings_.peaksCountdown = kPeaksEvery;
    }
    settings_.peaksCountdown -= 1;
  } else {
    settings_.peaksCountdown = 0;
  }
}

// Moves the blend the server uses 7% of the way to the performer's target
// per tick, so that a jump of the blend control is heard as a glide.
void Engine::glideBlend() {
  const double target = settings_.blendTarget;
  double& current = settings_.blendCurrent;
  if (!settings_.blendSmoothingStarted) {
    current = target;
    settings_.blendSmoothingStarted = true;
    return;
  }
  if (std::fabs(target - current) < 0.0001) return;
  current += (target - current) * 0.07;
  if (std::fabs(target - current) < 0.001) current = target;
  sendCommand(commands::setPromptBlend(current));
}

void Engine::onTickReconnect(const Atoms&) {
  settings_.blendSmoothingStarted = false;
  session_.reconnectTick();
}

}  // namespace omber::engine

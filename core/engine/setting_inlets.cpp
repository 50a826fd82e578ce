// The small setters of the inlet table and the handlers that route to the
// live audio path and the server.
//
// A number that would be stored and later written into a JSON document, a
// file or a link frame must be finite: "inf" is not JSON, and a NaN seek
// would put NaN into a player's play head. Setters of free numbers therefore
// ignore a non-finite value and keep the state as it was; the selectors with
// an explicit not-a-number rule ("blend", "sde", "sa3_duration", "loop")
// apply that rule.
#include <algorithm>
#include <cmath>

#include "core/documents/config_files.h"
#include "core/engine/engine.h"
#include "core/base/number_text.h"
#include "core/base/text.h"
#include "core/server/commands.h"
#include "link/frame.h"

namespace omber::engine {
namespace {

// The finite number of atom 0, or nothing.
std::optional<double> finiteAt(const Atoms& atoms, std::size_t i) {
  const double v = numberAt(atoms, i);
  return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

// A flag argument: anything but 0 is set, not-a-number included.
bool flagAt(const Atoms& atoms, std::size_t i) { return numberAt(atoms, i) != 0; }

}  // namespace

void Engine::sendCommand(const std::string& text) { transport_.sendServerText(text); }

// ---- generation settings ----

void Engine::onBackend(const Atoms& atoms) {
  std::string name = stringAt(atoms, 0);
  if (name.empty()) name = "acestep";
  live_.grid().setBackend(name);
  settings_.backend = std::move(name);
}

void Engine::onSa3Duration(const Atoms& atoms) {
  const double seconds = numberAt(atoms, 0);
  if (std::isnan(seconds)) {
    settings_.fixedRenderDuration = 0.0;
  } else if (std::isfinite(seconds) || seconds < 0) {  // -inf clamps to 0, +inf is ignored
    settings_.fixedRenderDuration = std::max(seconds, 0.0);
  }
}

void Engine::onDepth(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0)) settings_.depth = std::round(*v);
}

void Engine::onSteps(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0)) settings_.steps = std::round(*v);
}

void Engine::onSde(const Atoms& atoms) { settings_.sde = flagAt(atoms, 0); }

// Live's tempo never leaves 1..999 BPM. A value far beyond that would make
// bars microseconds long: one-frame prints and millions of repeated writes per
// bar, so it is taken as bad input and ignored like a non-positive one.
constexpr double kMaxLiveTempo = 999.0;

void Engine::onTempo(const Atoms& atoms) {
  const auto bpm = finiteAt(atoms, 0);
  if (!bpm || !(*bpm > 0) || *bpm > kMaxLiveTempo) return;
  live_.grid().setLiveTempo(*bpm);
}

// ---- session and Live transport ----

void Engine::onStart(const Atoms& atoms) {
  if (!atoms.empty()) settings_.promptA = joinedText(atoms, 0);
  if (settings_.startSamples.empty()) {
    transport_.emitStatus("no source: print the track first");
    return;
  }
  settings_.blendSmoothingStarted = false;
  session_.start();
}

void Engine::onStop(const Atoms&) {
  settings_.blendSmoothingStarted = false;
  session_.stop();
}

void Engine::onTransport(const Atoms& atoms) {
  const bool running = flagAt(atoms, 0);
  if (running == live_.playback().transportRunning()) return;
  live_.playback().setTransportRunning(running);
  if (running && live_.playback().playing() && live_.readiness().ready()) {
    // Restart from the top of the loop region, and count bars from here.
    const double start = live_.grid().loopRegion().start;
    live_.playback().moveTo(start);
    live_.grid().resumeAt(live_.grid().barCounter(), start);
  }
}

void Engine::onBar(const Atoms&) { live_.grid().onBar(); }

void Engine::onLoopStart(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0)) live_.grid().setLoopRegion(std::round(*v), live_.grid().loopLength());
}

void Engine::onLoopLen(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0))
    live_.grid().setLoopRegion(live_.grid().loopStartBar(), std::max(std::round(*v), 1.0));
}

void Engine::onSection(const Atoms& atoms) {
  const auto v = finiteAt(atoms, 0);
  if (!v) return;
  const double k = std::round(*v);
  const std::int32_t bars = live_.grid().loopLength();
  live_.grid().setLoopRegion(k < 0 ? -1.0 : k * bars, bars);
}

void Engine::onBars(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0)) live_.grid().setLoopLength(std::max(roundToInt32(*v), 1));
}

void Engine::onQuant(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0)) live_.grid().setQuantisation(std::max(std::round(*v), 0.0));
}

void Engine::onSeek(const Atoms& atoms) {
  if (const auto v = finiteAt(atoms, 0)) transport_.seekPlayers(*v);
}

void Engine::onLoop(const Atoms& atoms) {
  transport_.writeLinkFrame("players", link::encodeFlag(link::FrameType::Loop, flagAt(atoms, 0)));
}

// ---- capture and print ----

void Engine::onFeed(const Atoms& atoms) { live_.feed().setMode(live::parseFeedMode(stringAt(atoms, 0))); }

void Engine::onFeedMix(const Atoms& atoms) { live_.feed().setMix(live::FeedMix::parse(stringAt(atoms, 0))); }

void Engine::onSpliceArm(const Atoms& atoms) {
  live_.feed().armSplice(atoms.empty() ? live_.grid().loopLength() : numberAt(atoms, 0));
}

void Engine::onFixedArm(const Atoms& atoms) {
  live_.feed().armPrint(atoms.empty() ? 4.0 : numberAt(atoms, 0), true, false);
}

void Engine::onCanvasArm(const Atoms& atoms) {
  live_.feed().armPrint(atoms.empty() ? 4.0 : numberAt(atoms, 0), false, false);
}

// ---- blend, LoRAs and sources on the server ----

void Engine::onBlend(const Atoms& atoms) {
  const double v = numberAt(atoms, 0);
  settings_.blendTarget = std::isnan(v) ? 1.0 : std::clamp(v, 0.0, 1.0);
}

void Engine::onLora(const Atoms& atoms) {
  const auto strength = finiteAt(atoms, 1);
  if (live_.readiness().ready() && strength) transport_.sendEnableLora(stringAt(atoms, 0), *strength);
}

void Engine::onLoraOff(const Atoms& atoms) {
  if (live_.readiness().ready()) sendCommand(commands::disableLora(stringAt(atoms, 0)));
}

void Engine::onSwap(const Atoms& atoms) {
  if (live_.readiness().ready()) sendCommand(commands::swapSource(stringAt(atoms, 0)));
}

// A timbre or a structure source: the engine's fixture name and clip
// description and the live audio path's clip.
struct Engine::SourceFields {
  std::optional<std::string>& fixture;
  std::optional<std::string>& description;
  SourceClip& clip;
  void (ITransport::*sendFixture)(const std::string& name);
};

Engine::SourceFields Engine::timbreFields() {
  return {settings_.timbreFixture, settings_.timbreDescription, live_.timbre, &ITransport::sendTimbreFixture};
}

Engine::SourceFields Engine::structureFields() {
  return {settings_.structureFixture, settings_.structureDescription, live_.structure,
          &ITransport::sendStructureFixture};
}

void Engine::clearSource(const SourceFields& source) {
  source.fixture.reset();
  source.description.reset();
  source.clip.name.clear();
  source.clip.held = false;
  source.clip.samples.clear();
}

// Clears the source; a non-empty name becomes its fixture, which the server
// hears of when ready.
void Engine::selectFixture(const SourceFields& source, const std::string& name) {
  clearSource(source);
  if (name.empty()) return;
  source.fixture = name;
  source.clip.name = name;
  if (live_.readiness().ready()) (transport_.*source.sendFixture)(name);
}

void Engine::onTimbre(const Atoms& atoms) { selectFixture(timbreFields(), stringAt(atoms, 0)); }

void Engine::onStructure(const Atoms& atoms) { selectFixture(structureFields(), stringAt(atoms, 0)); }

void Engine::onTimbreStrength(const Atoms& atoms) {
  const auto strength = finiteAt(atoms, 0);
  if (live_.readiness().ready() && strength) sendCommand(commands::setTimbreStrength(*strength));
}

void Engine::onTimbreClear(const Atoms&) {
  clearSource(timbreFields());
  if (live_.readiness().ready()) sendCommand(commands::clearTimbreSource());
}

void Engine::onStructureClear(const Atoms&) {
  clearSource(structureFields());
  if (live_.readiness().ready()) sendCommand(commands::clearStructureSource());
}

// ---- project ----

void Engine::onLivePath(const Atoms& atoms) { settings_.liveSetFolder = liveSetFolderOf(joinedText(atoms, 0)); }

}  // namespace omber::engine

// The one core object: the whole state of a performance and the inlet that
// every dispatched message enters.
//
// The inlet handlers are members of Engine, one file per subsystem in this
// folder (inlet_table.cpp maps each selector to its handler):
//   host_inlets.cpp      ext:, ws:, cloud:, tick: events
//   setting_inlets.cpp   generation settings, Live transport, loop and
//                        section, capture routing, server-side sources, LoRAs
//   prompt_inlets.cpp    prompts, key, project key
//   control_inlets.cpp   knobs, macros, LoRA slots, catalog
//   preset_inlets.cpp    presets and snapshots, recall, reference inputs
//   export_inlet.cpp     audio export
//   telemetry.cpp        the periodic "params" message
// Each translates its messages into calls on the subsystems below: the live
// audio path and endpoint table (core/live), the server session
// (core/server), the controls, prompts and presets (core/documents).
//
// Single-threaded: every member is touched only on the host's JavaScript
// thread, inside dispatch.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/documents/controls.h"
#include "core/base/atom.h"
#include "core/engine/real_transport.h"
#include "core/live/endpoint_table.h"
#include "core/live/live_audio_path.h"
#include "core/server/server_session.h"
#include "core/server/session_config.h"
#include "core/live/source_buffer.h"

namespace omber::engine {

// The engine is the top layer: it translates between the inlets and every
// layer below, so it sees all of their names.
using namespace omber::base;
using namespace omber::documents;
using namespace omber::live;
using namespace omber::server;

// The latest preset save: the file asked for, the reference the device was
// given and the string it held before.
struct PresetSave {
  std::string path;
  std::string reference;
  std::string previous;
};

// The engine's own settings, in construction order after the subsystems.
struct EngineSettings {
  std::string backend = "acestep";
  std::string promptA;
  double blendTarget = 0.4;
  double blendCurrent = 0.4;
  double depth = 4.0;
  double steps = 8.0;
  double fixedRenderDuration = 0.0;  // seconds
  bool blendSmoothingStarted = false;
  bool sde = false;
  std::vector<float> startSamples;  // start-from-audio samples, interleaved
  std::int32_t startChannels = 2;
  KnobTable knobs;
  MacroBindings macros;
  LoraCatalog loraCatalog;
  LoraSlots loraSlots;
  std::optional<std::string> promptB;
  std::optional<std::string> timbreFixture;
  std::optional<std::string> structureFixture;
  std::optional<std::string> timbreDescription;     // source description of a timbre clip
  std::optional<std::string> structureDescription;  // source description of a structure clip
  std::int32_t keyIndex = 0;
  std::string keyName;
  std::string projectKey;  // derived from the project root note and scale
  std::optional<double> projectRoot;
  std::string projectScale;
  std::string liveSetFolder;
  std::int64_t serverBuffered = 0;  // bytes waiting in the WebSocket's send buffer
  std::int32_t peaksCountdown = 0;
  std::optional<PresetSave> lastSave;
};

class Engine {
 public:
  // Takes the outlet to the host callback. Emits nothing.
  explicit Engine(OutletFn outlet);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // One dispatched message. Runs the handler of the selector (compared
  // whole, case-sensitively); an unknown selector is ignored. Every
  // exception is caught here and noted: one bad message never ends the host
  // process.
  void inlet(std::string_view selector, const Atoms& atoms) noexcept;

  // The messages a handler failed on: how many, and the selector and reason
  // of the latest (cut to fit, NUL-terminated; empty before the first).
  struct Failures {
    std::uint64_t count = 0;
    std::array<char, 64> selector{};
    std::array<char, 192> reason{};
  };
  const Failures& failures() const { return failure_; }

  // The send gate: true when the server buffered amount plus bytes would be
  // at most 1 MiB.
  bool mayWrite(std::int64_t bytes) const;

  // The configuration the next handshake would carry.
  SessionConfig sessionConfig() { return session_.config(); }

  // Whether a selector has a handler, how many do, and the one at an index
  // of the table (empty past its end).
  static bool accepts(std::string_view selector);
  static std::size_t selectorCount();
  static std::string_view selectorAt(std::size_t index);

  using Handler = void (Engine::*)(const Atoms&);

  // The subsystems and settings, for the engine's own parts and for tests.
  // A new source for the start-from-audio upload (a finished print): its
  // samples are taken over, not copied; a channel count below 1 counts every
  // sample as a frame. Starts the upload unless it is empty.
  void takeNewSource(live::NewSource source);

  LiveAudioPath& live() { return live_; }
  const SourceBuffer& source() const { return source_; }
  ITransport& transport() { return transport_; }
  const EndpointTable& endpoints() const { return endpoints_; }
  const ServerSession& session() const { return session_; }
  const EngineSettings& settings() const { return settings_; }

 private:
  struct InletTable;
  static Handler handlerFor(std::string_view selector);
  void noteFailure(std::string_view selector, std::string_view reason) noexcept;

  // ---- engine.cpp ----
  void startSourceUpload();
  SessionConfig buildSessionConfig();

  // ---- host_inlets.cpp ----
  void onExtConn(const Atoms&);
  void onExtData(const Atoms&);
  void onExtClose(const Atoms&);
  void onWsOpen(const Atoms&);
  void onWsData(const Atoms&);
  void onWsClose(const Atoms&);
  void onWsBuffered(const Atoms&);
  void onCloudWsUrl(const Atoms&);
  void onCloudError(const Atoms&);
  void onTickParam(const Atoms&);
  void onTickReconnect(const Atoms&);
  void glideBlend();
  void restateSteering();

  // ---- setting_inlets.cpp ----
  void onBackend(const Atoms&);
  void onSa3Duration(const Atoms&);
  void onDepth(const Atoms&);
  void onSteps(const Atoms&);
  void onSde(const Atoms&);
  void onTempo(const Atoms&);
  void onStart(const Atoms&);
  void onStop(const Atoms&);
  void onTransport(const Atoms&);
  void onBar(const Atoms&);
  void onLoopStart(const Atoms&);
  void onLoopLen(const Atoms&);
  void onSection(const Atoms&);
  void onBars(const Atoms&);
  void onQuant(const Atoms&);
  void onSeek(const Atoms&);
  void onLoop(const Atoms&);
  void onFeed(const Atoms&);
  void onFeedMix(const Atoms&);
  void onSpliceArm(const Atoms&);
  void onFixedArm(const Atoms&);
  void onCanvasArm(const Atoms&);
  void onBlend(const Atoms&);
  void onLora(const Atoms&);
  void onLoraOff(const Atoms&);
  void onSwap(const Atoms&);
  void onTimbre(const Atoms&);
  void onTimbreStrength(const Atoms&);
  void onTimbreClear(const Atoms&);
  void onStructure(const Atoms&);
  void onStructureClear(const Atoms&);
  void onLivePath(const Atoms&);
  struct SourceFields;
  SourceFields timbreFields();
  SourceFields structureFields();
  void clearSource(const SourceFields& source);
  void selectFixture(const SourceFields& source, const std::string& name);
  void sendCommand(const std::string& text);

  // ---- prompt_inlets.cpp ----
  void onPrompt(const Atoms&);
  void onPromptB(const Atoms&);
  void onPromptAB(const Atoms&);
  void onKey(const Atoms&);
  void onProjRoot(const Atoms&);
  void onProjScale(const Atoms&);
  void updateProjectKey();
  // Tag text A, for the prompt command and the handshake configuration:
  // prompt A (or the default tags) led by the LoRA triggers, then the
  // metadata suffix.
  std::string composeTagTextA() const;
  // Tag text B: prompt B led by the LoRA triggers; empty without prompt B.
  std::string composeTagTextB() const;
  // Composes the tag texts and sends the prompt command when ready.
  void sendPrompt();

  // ---- control_inlets.cpp ----
  void onKnob(const Atoms&);
  void onKnobEnum(const Atoms&);
  void onKnobClear(const Atoms&);
  void onMacro(const Atoms&);
  void onMacroVal(const Atoms&);
  void onLoraSlot(const Atoms&);
  void onLoraStrength(const Atoms&);
  void onCloudCatalog(const Atoms&);
  // The knob manifest's "knobs" object from the readiness information, or nullptr.
  const JsonValue* knobManifest() const;
  // Slot 1 or 2 (others are ignored) takes catalog entry number (1-based;
  // out of range empties it), telling a ready server, then re-sends the prompt.
  void selectLoraSlot(std::int32_t slot, std::int32_t catalogNumber);
  // Stores a slot's strength (and its strength knob); sends nothing.
  void setLoraStrength(std::int32_t slot, double strength);
  void rebuildSessionLoras();

  // ---- preset_inlets.cpp ----
  void onPresetData(const Atoms&);
  void onSnapshotReq(const Atoms&);
  void onRecall(const Atoms&);
  void onPresetWriteFailed(const Atoms&);
  struct DocumentInput;
  DocumentInput documentInput(bool timbre);
  // The preset document, or the snapshot document, of the current state.
  std::string storedDocument(bool preset);
  // Applies a recalled document now, or at the next bar line while playing.
  void applyOrDefer(JsonValue document, void (Engine::*apply)(const JsonValue&));
  void applyPresetDocument(const JsonValue& document);
  void applySnapshotDocument(const JsonValue& document);
  // Each applies one recalled value and echoes it to the interface.
  void applyQuantisation(double bars);
  void applyPrompts(std::string a, std::string b);
  void applyBlend(double blend);
  void applyLoraChoice(std::int32_t slot, std::optional<double> strength, std::int32_t catalogNumber);
  void applyLoop(double startBar, double lengthBars);
  void applyInput(const JsonValue* descriptor, bool timbre);
  bool loadClip(const DocumentInput& input, const std::string& name, const std::string& wavBase64);

  // ---- export_inlet.cpp ----
  void onAudioExportReq(const Atoms&);

  // ---- telemetry.cpp ----
  void sendTelemetry();

  // Members in construction order.
  LiveAudioPath live_;
  SourceBuffer source_;
  RealTransport transport_;
  EndpointTable endpoints_;
  ServerSession session_;
  EngineSettings settings_;
  Failures failure_;
};

}  // namespace omber::engine

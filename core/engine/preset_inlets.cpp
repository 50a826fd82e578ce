// Presets and snapshots: saving the performance state as a preset file or a
// snapshot text, and recalling either.
//
// A stored string is untrusted input: every decoding or parsing failure
// ends the recall before anything is applied, and numbers that do not fit
// the state (a document's 1e999) are treated as missing. While a stream
// plays, a decoded document waits for the next bar line, so a recall lands
// on the beat.
#include <cmath>
#include <exception>

#include "core/base/base64.h"
#include "core/audiofile/wav.h"
#include "core/documents/config_files.h"
#include "core/documents/controls.h"
#include "core/documents/preset_document.h"
#include "core/engine/engine.h"
#include "core/base/number_text.h"
#include "core/base/text.h"

namespace omber::engine {
using namespace omber::audiofile;
namespace {

constexpr char kDefaultPromptA[] = "heavy dubstep, deathstep, afxdump, growl heavy bass distortion";
constexpr char kDefaultPromptB[] = "french house style, beautiful, four to the floor, angelic";
constexpr double kDefaultBlend = 0.4;

const JsonValue kNull;

// A member of an object, or a null value when absent (or not an object).
const JsonValue& memberOf(const JsonValue& value, std::string_view key) {
  const JsonValue* member = find(value, key);
  return member ? *member : kNull;
}

// An element of an array, or a null value when absent (or not an array).
const JsonValue& elementOf(const JsonValue& value, std::size_t index) {
  return value.isArray() && index < value.items().size() ? value.items()[index] : kNull;
}

// A finite number member, or nothing.
std::optional<double> finiteNumber(const JsonValue& value, std::string_view key) {
  const std::optional<double> number = optNumber(value, key);
  return number && std::isfinite(*number) ? number : std::nullopt;
}

std::string slotEchoName(std::int32_t slot, const char* suffix) { return "lora" + std::to_string(slot) + suffix; }

}  // namespace

// One of the two reference inputs, with the names its echoes carry.
struct Engine::DocumentInput {
  const char* label;                     // "timbre", "structure": the status text's word
  const char* echoStem;                  // "timbre", "struct": "<stem>RefFix" and so on
  void (Engine::*select)(const Atoms&);  // the fixture inlet: an empty name clears without a command
  void (Engine::*clear)(const Atoms&);   // the clear inlet: clears and tells a ready server
  std::optional<std::string>& fixture;
  std::optional<std::string>& description;
  SourceClip& clip;
  void (ITransport::*sendSource)(const float*, std::uint64_t, std::int32_t, const std::string&);
};

Engine::DocumentInput Engine::documentInput(bool timbre) {
  if (timbre) {
    return {"timbre",
            "timbre",
            &Engine::onTimbre,
            &Engine::onTimbreClear,
            settings_.timbreFixture,
            settings_.timbreDescription,
            live_.timbre,
            &ITransport::sendTimbreSource};
  }
  return {"structure",
          "struct",
          &Engine::onStructure,
          &Engine::onStructureClear,
          settings_.structureFixture,
          settings_.structureDescription,
          live_.structure,
          &ITransport::sendStructureSource};
}

// ---- saving ----

std::string Engine::storedDocument(bool preset) {
  const auto descriptor = [this](bool timbre) {
    const DocumentInput input = documentInput(timbre);
    if (input.description) return *input.description;
    if (input.fixture) return fixtureDescriptor(*input.fixture);
    return std::string();
  };
  const std::string timbre = descriptor(true);
  const std::string structure = descriptor(false);
  const StoredState state{settings_.knobs,
                          settings_.loraSlots,
                          settings_.loraCatalog,
                          knobManifest(),
                          settings_.promptA,
                          settings_.promptB ? std::string_view(*settings_.promptB) : std::string_view(),
                          settings_.blendTarget,
                          live_.grid().loopStartBar(),
                          live_.grid().loopLength(),
                          live_.grid().quantisation(),
                          timbre,
                          structure};
  return preset ? presetDocument(state) : snapshotDocument(state);
}

// Without a Live Set folder the state goes to the device as a snapshot text;
// with one it is written as a preset file (the same file again when the
// device's current string refers to one) and the device keeps the reference.
// The device's stored string is the one text argument.
void Engine::onSnapshotReq(const Atoms& atoms) {
  const std::string& folder = settings_.liveSetFolder;
  if (folder.empty()) {
    transport_.emit("snapshot", Atoms{Atom(encodeSnapshotText(storedDocument(false)))});
    return;
  }
  const std::string previous = stringAt(atoms, 0);
  std::optional<std::string> name = parseConfigReference(previous);
  if (const std::optional<std::string> reserved = reservedConfigName(previous)) {
    transport_.emitStatus("preset name \"" + *reserved + "\" is reserved by Windows; saved under a new name");
  }
  if (!name) name = newConfigName();
  std::string path = makeFilePath(folder, *name);
  std::string reference = makeFileReference(*name);
  // Remembered until the next save: a failed write hands the device its
  // previous string back.
  settings_.lastSave = PresetSave{path, reference, previous};
  transport_.emit("preset:write", Atoms{Atom(std::move(path)), Atom(storedDocument(true))});
  transport_.emit("snapshot", Atoms{Atom(std::move(reference))});
}

// The host could not write the file of a save. Only the latest save can be
// taken back (the device has since stored a newer string for older ones),
// and only when it gave the device a string other than the one it had: a
// failed overwrite leaves the old file and its reference as they were.
void Engine::onPresetWriteFailed(const Atoms& atoms) {
  if (!settings_.lastSave || settings_.lastSave->path != stringAt(atoms, 0)) return;
  const PresetSave save = std::move(*settings_.lastSave);
  settings_.lastSave.reset();
  if (save.previous != save.reference) transport_.emit("snapshot", Atoms{Atom(save.previous)});
}

// ---- recalling ----

void Engine::onRecall(const Atoms& atoms) {
  const std::string text = stringAt(atoms, 0);
  if (text.size() > kMaxStoredStringBytes) {
    transport_.emitStatus(oversizeStatus("stored string", text.size(), kMaxStoredStringBytes));
    return;
  }
  if (isFileReference(text)) {
    // The host reads the file and answers with "preset:data".
    if (const std::optional<std::string> reserved = reservedConfigName(text)) {
      transport_.emitStatus("preset name \"" + *reserved + "\" is reserved by Windows; not recalled");
      return;
    }
    const std::optional<std::string> name = parseConfigReference(text);
    if (name && !settings_.liveSetFolder.empty()) {
      transport_.emit("preset:read", Atoms{Atom(makeFilePath(settings_.liveSetFolder, *name))});
    }
    return;
  }
  if (std::optional<JsonValue> document = decodeSnapshotText(text)) {
    applyOrDefer(std::move(*document), &Engine::applySnapshotDocument);
  }
}

void Engine::onPresetData(const Atoms& atoms) {
  const std::string text = stringAt(atoms, 0);
  if (text.size() > kMaxPresetJsonBytes) {
    transport_.emitStatus(oversizeStatus("preset", text.size(), kMaxPresetJsonBytes));
    return;
  }
  if (std::optional<JsonValue> document = parsePresetText(text)) {
    applyOrDefer(std::move(*document), &Engine::applyPresetDocument);
  }
}

void Engine::applyOrDefer(JsonValue document, void (Engine::*apply)(const JsonValue&)) {
  if (live_.playback().playing()) {
    // Replaces a recall already waiting: the last one asked for wins.
    // A recall that fails at the bar line is noted like a failed message;
    // the bar's own steps still run.
    live_.grid().deferToNextBar([this, apply, document = std::move(document)] {
      try {
        (this->*apply)(document);
      } catch (const std::exception& error) {
        noteFailure("bar", error.what());
      }
    });
    return;
  }
  (this->*apply)(document);
}

void Engine::applyPresetDocument(const JsonValue& document) {
  const JsonValue& ableton = memberOf(document, "ableton");
  if (const auto quant = finiteNumber(ableton, "quantBars")) applyQuantisation(*quant);

  // A copy: every echo is an outlet call, and a callback that dispatches
  // again may replace the session's manifest while it is walked.
  const JsonValue manifest = knobManifest() ? *knobManifest() : JsonValue{};
  applyControls(settings_.knobs, knobManifest() ? &manifest : nullptr, find(document, "controls"), transport_);

  const JsonValue& prompts = memberOf(document, "prompts");
  applyPrompts(optString(prompts, "a").value_or(kDefaultPromptA), optString(prompts, "b").value_or(kDefaultPromptB));
  applyBlend(finiteNumber(prompts, "blend").value_or(kDefaultBlend));

  // Slots are matched by the catalog entry's name; a missing element empties its slot.
  const JsonValue& loras = memberOf(memberOf(document, "engine"), "enabled_loras");
  for (std::int32_t slot = 1; slot <= 2; ++slot) {
    const JsonValue& element = elementOf(loras, static_cast<std::size_t>(slot - 1));
    std::string name;
    double strength = 1.0;
    if (element.isString()) {
      name = std::string(element.text());
    } else if (element.isObject()) {
      name = optString(element, "name").value_or("");
      strength = finiteNumber(element, "strength").value_or(1.0);
    }
    applyLoraChoice(slot, strength, catalogNumberOfName(settings_.loraCatalog, name));
  }

  if (const JsonValue& loop = memberOf(ableton, "loop"); loop.isObject()) {
    applyLoop(finiteNumber(loop, "startBar").value_or(-1.0), finiteNumber(loop, "lenBars").value_or(4.0));
  }

  const JsonValue& inputs = memberOf(document, "inputs");
  applyInput(find(inputs, "timbre"), true);
  applyInput(find(inputs, "structure"), false);
}

void Engine::applySnapshotDocument(const JsonValue& document) {
  if (const auto quant = finiteNumber(document, "quantBars")) applyQuantisation(*quant);

  const JsonValue manifest = knobManifest() ? *knobManifest() : JsonValue{};  // see applyPresetDocument
  applyKnobSnapshot(settings_.knobs, knobManifest() ? &manifest : nullptr, find(document, "knobs"), transport_);

  applyPrompts(optString(document, "prompt").value_or(settings_.promptA), optString(document, "promptB").value_or(""));
  if (const auto blend = finiteNumber(document, "blend")) applyBlend(*blend);

  const JsonValue& loras = memberOf(document, "loras");
  for (const JsonValue& element : loras.items()) {  // no items unless an array
    const std::optional<double> slot = finiteNumber(element, "slot");
    if (!slot) continue;
    const std::int32_t slotNumber = truncateToInt32(*slot);
    if (slotNumber == 0) continue;
    const std::string id = optString(element, "id").value_or("");
    applyLoraChoice(slotNumber, finiteNumber(element, "strength"), catalogNumberOfId(settings_.loraCatalog, id));
  }

  if (const JsonValue& loop = memberOf(document, "loop"); loop.isObject()) {
    applyLoop(finiteNumber(loop, "startBar").value_or(-1.0),
              finiteNumber(loop, "lenBars").value_or(static_cast<double>(live_.grid().loopLength())));
  }
}

// ---- applying one value and echoing it ----

void Engine::applyQuantisation(double bars) {
  onQuant(Atoms{Atom(bars)});
  echoNumber(transport_, "quant", bars);
}

void Engine::applyPrompts(std::string a, std::string b) {
  settings_.promptA = std::move(a);
  settings_.promptB = b.empty() ? std::nullopt : std::optional<std::string>(std::move(b));
  sendPrompt();
  echoWords(transport_, "prompt", settings_.promptA);
  echoWords(transport_, "promptB", settings_.promptB.value_or(""));
}

// The dial shows the stored value; the blend itself stays within 0..1.
void Engine::applyBlend(double blend) {
  onBlend(Atoms{Atom(blend)});
  echoNumber(transport_, "blend", blend);
}

// Slots other than 1 and 2 hold nothing to apply; their values are still
// echoed under their own numbers ("lora3str", "lora3"), as the snapshot
// lists them.
void Engine::applyLoraChoice(std::int32_t slot, std::optional<double> strength, std::int32_t catalogNumber) {
  const bool held = slot >= 1 && slot <= 2;
  if (strength) {
    if (held) setLoraStrength(slot, *strength);
    echoNumber(transport_, slotEchoName(slot, "str"), *strength);
  }
  if (held) selectLoraSlot(slot, catalogNumber);
  echoNumber(transport_, slotEchoName(slot, ""), catalogNumber);
}

void Engine::applyLoop(double startBar, double lengthBars) {
  live_.grid().setLoopRegion(startBar, lengthBars);
  echoNumber(transport_, "loopStart", startBar);
  echoNumber(transport_, "loopLen", lengthBars);
}

void Engine::applyInput(const JsonValue* descriptor, bool timbre) {
  const DocumentInput input = documentInput(timbre);
  const std::string stem = input.echoStem;
  const std::optional<std::string> kind = descriptor ? optString(*descriptor, "kind") : std::nullopt;
  const std::string name = descriptor ? optString(*descriptor, "name").value_or("") : std::string();
  if (kind && !name.empty()) {
    if (*kind == "fixture") {
      (this->*input.select)(Atoms{Atom(name)});
      echoWords(transport_, stem + "RefFix", name);
      return;
    }
    const std::optional<std::string> wavBase64 = optString(*descriptor, "wavBase64");
    if (*kind == "clip" && wavBase64) {
      if (loadClip(input, name, *wavBase64)) {
        echoWords(transport_, stem + "RefClip", name);
        return;
      }
      transport_.emitStatus("inputs: skipped unreadable " + std::string(input.label) + " clip \"" + name + "\"");
    }
  }
  (this->*input.clear)(Atoms{});
  echoWords(transport_, stem + "RefNone", "");
}

// Decodes the clip; on success it becomes the input (replacing a fixture or
// an earlier clip) and a ready server receives its audio.
bool Engine::loadClip(const DocumentInput& input, const std::string& name, const std::string& wavBase64) {
  const std::vector<std::uint8_t> wav = base64DecodeClip(wavBase64);
  DecodedAudio audio;
  try {
    audio = decodeWav(wav.data(), wav.size());
  } catch (const WavError&) {
    return false;
  }
  (this->*input.select)(Atoms{Atom("")});
  input.description = clipDescriptor(name, wavBase64);
  input.clip.name = name;
  input.clip.held = true;
  input.clip.samples = std::move(audio.samples);
  input.clip.channels = static_cast<std::int32_t>(audio.channels);
  if (live_.readiness().ready()) {
    (transport_.*input.sendSource)(input.clip.samples.data(), audio.frames, input.clip.channels, name);
  }
  return true;
}

}  // namespace omber::engine

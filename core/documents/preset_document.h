// The two stored forms of the performer's state: the preset document (a JSON
// file in the Live Set's configs folder) and the snapshot text ("v2." and
// the URL-safe base64 of the raw-DEFLATE-compressed snapshot document), and
// the decoders that turn stored strings back into documents.
//
// Pure functions; thread-safe on distinct arguments; not realtime-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/documents/controls.h"
#include "core/base/json.h"

namespace omber::documents {

// What a stored state holds, as views of the engine's state.
struct StoredState {
  const KnobTable& knobs;
  const LoraSlots& slots;
  const LoraCatalog& catalog;
  const JsonValue* manifestKnobs;  // the knob manifest's "knobs", nullptr without one
  std::string_view promptA;
  std::string_view promptB;  // empty when absent
  double blend = 0.4;
  std::int32_t loopStartBar = -1;
  std::int32_t loopLength = 4;
  double quantBars = 1.0;
  std::string_view timbre;  // the input's descriptor text; empty when no input is set
  std::string_view structure;
};

// The same settings in every preset document: the leading members of
// "engine" (260 bytes, ending with a comma), and everything from the comma
// after "controls" to the brace that closes "web" (1019 bytes).
extern const std::string_view kPresetEngineFragment;
extern const std::string_view kPresetFixedFragment;

// The compact preset document: "version", "engine", "prompts", "controls",
// the fixed members, "ableton" and, when an input is set, "inputs".
std::string presetDocument(const StoredState& state);
// The compact snapshot document: "knobs", "prompt", "promptB", "blend",
// "loras", "loop", "quantBars", "selectedFixture".
std::string snapshotDocument(const StoredState& state);

// Input descriptors: {"kind":"fixture","name":...} and
// {"kind":"clip","name":...,"wavBase64":...}.
std::string fixtureDescriptor(std::string_view name);
std::string clipDescriptor(std::string_view name, std::string_view wavBase64);

// "v2." followed by the document deflated (raw, default level) in URL-safe
// base64 without padding.
std::string encodeSnapshotText(std::string_view document);

// The object a snapshot text holds: "v2." (deflated) or "v1." (plain)
// followed by base64 in either alphabet. Nothing for another prefix, a text
// without ".", a failing inflate (corrupt, or more than 8 MiB) or anything
// but a JSON object. Never throws for bad input.
std::optional<JsonValue> decodeSnapshotText(std::string_view text);

// The object a preset file holds; nothing for an empty text, bad JSON or
// anything but an object.
std::optional<JsonValue> parsePresetText(std::string_view text);

}  // namespace omber::documents

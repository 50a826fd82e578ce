// Prompt composition: key names, the project key, the LoRA trigger words
// that lead the tags, the metadata suffix and the prompt command.
// Pure functions; thread-safe; they allocate only their results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/documents/controls.h"

namespace omber::documents {

// The tag text the server gets while prompt A is empty.
constexpr std::string_view kDefaultTagText = "instrumental electronic music";

// Entry of the key table: "C major" for 1 ... "B minor" for 24; empty for 0
// and for every index outside the table.
std::string_view keyNameAt(std::int32_t index);

// "<note> <scale in lower case>", or the note alone for an empty scale;
// empty when the root note is absent or negative.
std::string projectKeyText(std::optional<double> rootNote, std::string_view scale);

// The text led by the trigger words of the LoRAs in the slots. Leading
// comma-separated parts that equal any catalog trigger (trimmed, ignoring
// ASCII case) are dropped first, so a trigger prepended earlier, also of a
// LoRA no longer selected, is not repeated; each distinct trigger of the
// slots, in slot order, then leads as "<trigger>, ".
std::string withLoraTriggers(std::string_view text, const LoraCatalog& catalog, const LoraSlots& slots);

// What the "sa3" backend is told about tempo and key.
struct PromptMetadata {
  std::string_view backend;
  double sourceTempo = 0.0;     // the printed source's tempo, 0 when none
  double liveTempo = 0.0;       // Live's tempo, 0 when unknown
  std::string_view keyName;     // the selected key, empty for none
  std::string_view projectKey;  // Live's project key, used without a selected key
};

// ", <tempo> bpm, key of <key>" (each part only when known) for the "sa3"
// backend; empty for every other backend or when nothing is known.
std::string metadataSuffix(const PromptMetadata& metadata);

// {"type":"prompt","tags":A} with ,"tags_b":B before the brace when B is not empty.
std::string promptCommand(std::string_view tagsA, std::string_view tagsB);

}  // namespace omber::documents

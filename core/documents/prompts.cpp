#include "core/documents/prompts.h"

#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "core/base/number_text.h"
#include "core/base/text.h"
#include "core/base/json.h"

namespace omber::documents {
using namespace omber::base;
namespace {

constexpr std::array<std::string_view, 12> kNoteNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                         "F#", "G",  "G#", "A",  "A#", "B"};

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The text without its leading parts that are catalog triggers; unchanged
// when none leads.
std::string withoutLeadingTriggers(std::string_view text, const std::set<std::string>& triggers) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  std::size_t first = 0;
  while (first < parts.size() && triggers.count(asciiLower(trimmed(parts[first])))) ++first;
  if (first == 0) return std::string(text);
  std::string rest;
  for (std::size_t i = first; i < parts.size(); ++i) {
    if (i > first) rest += ',';
    rest += parts[i];
  }
  return std::string(trimmed(rest));
}

}  // namespace

std::string_view keyNameAt(std::int32_t index) {
  static const std::array<std::string, 25> kKeys = [] {
    std::array<std::string, 25> keys;
    for (std::size_t i = 0; i < 24; ++i) {
      keys[i + 1] = std::string(kNoteNames[i / 2]) + (i % 2 == 0 ? " major" : " minor");
    }
    return keys;
  }();
  return index >= 1 && index <= 24 ? std::string_view(kKeys[static_cast<std::size_t>(index)]) : std::string_view();
}

std::string projectKeyText(std::optional<double> rootNote, std::string_view scale) {
  if (!rootNote || !(*rootNote >= 0)) return {};
  const std::int64_t root = truncateToInt64(*rootNote);
  std::string text(kNoteNames[static_cast<std::size_t>(((root % 12) + 12) % 12)]);
  if (!scale.empty()) {
    text += ' ';
    text += asciiLower(scale);
  }
  return text;
}

std::string withLoraTriggers(std::string_view text, const LoraCatalog& catalog, const LoraSlots& slots) {
  std::set<std::string> triggers;
  for (const LoraCatalogEntry& entry : catalog) {
    std::string trigger = asciiLower(trimmed(entry.trigger));
    if (!trigger.empty()) triggers.insert(std::move(trigger));
  }
  std::string body = triggers.empty() ? std::string(text) : withoutLeadingTriggers(text, triggers);

  std::string prefix;
  std::set<std::string> taken;
  for (const LoraSlot& slot : slots) {
    const std::int32_t number = catalogNumberOfId(catalog, slot.id);
    if (number == 0) continue;
    const std::string_view trigger = trimmed(catalog[static_cast<std::size_t>(number - 1)].trigger);
    if (trigger.empty() || !taken.insert(asciiLower(trigger)).second) continue;
    prefix += trigger;
    prefix += ", ";
  }
  return prefix + body;
}

std::string metadataSuffix(const PromptMetadata& metadata) {
  if (metadata.backend != "sa3") return {};
  std::string suffix;
  const double tempo = metadata.sourceTempo > 0 ? metadata.sourceTempo : metadata.liveTempo;
  if (tempo > 0) {
    suffix += ", ";
    appendNumber(suffix, std::round(tempo));
    suffix += " bpm";
  }
  const std::string_view key = metadata.keyName.empty() ? metadata.projectKey : metadata.keyName;
  if (!key.empty()) {
    suffix += ", key of ";
    suffix += key;
  }
  return suffix;
}

std::string promptCommand(std::string_view tagsA, std::string_view tagsB) {
  JsonObjectWriter writer;
  writer.string("type", "prompt").string("tags", tagsA);
  if (!tagsB.empty()) writer.string("tags_b", tagsB);
  return writer.close();
}

}  // namespace omber::documents

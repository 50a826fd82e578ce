#include "core/documents/prompts.h"

#include <array>
#include <cmath>

#include "core/host/number_text.h"

namespace omber {
namespace {

constexpr std::array<std::string_view, 12> kNoteNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                         "F#", "G",  "G#", "A",  "A#", "B"};

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
    for (const char c : scale) text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

}  // namespace omber

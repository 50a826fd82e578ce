// The inlet table: every selector the engine accepts and its handler.
#include <array>
#include <cstdint>
#include <utility>

#include "core/engine/engine.h"

namespace omber::engine {
namespace {

template <typename Table>
constexpr bool strictlyAscending(const Table& table) {
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (!(table[i - 1].first < table[i].first)) return false;
  }
  return true;
}

// Lookup is on the path of every dispatched message: an open-addressing
// table over a cheap hash of the length and three bytes finds the candidate,
// and one comparison of the whole selector confirms it.
constexpr std::size_t kSlots = 128;  // a power of two, about twice the selectors
constexpr std::uint8_t kEmpty = 0xff;

constexpr std::size_t hashOf(std::string_view s) {
  std::size_t h = s.size();
  if (!s.empty()) {
    h = h * 131 + static_cast<unsigned char>(s[0]);
    h = h * 131 + static_cast<unsigned char>(s[s.size() / 2]);
    h = h * 131 + static_cast<unsigned char>(s[s.size() - 1]);
  }
  return h;
}

// Selectors are short: a plain loop beats a call to memcmp.
bool sameBytes(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

template <typename Table>
constexpr std::array<std::uint8_t, kSlots> slotsFor(const Table& table) {
  std::array<std::uint8_t, kSlots> slots{};
  for (auto& slot : slots) slot = kEmpty;
  for (std::size_t i = 0; i < table.size(); ++i) {
    std::size_t at = hashOf(table[i].first) & (kSlots - 1);
    while (slots[at] != kEmpty) at = (at + 1) & (kSlots - 1);
    slots[at] = static_cast<std::uint8_t>(i);
  }
  return slots;
}

}  // namespace

// Kept sorted byte-wise so that duplicates show at compile time. A nested
// type of Engine, so that it may name the private handlers.
struct Engine::InletTable {
  static constexpr std::array<std::pair<std::string_view, Handler>, 62> kEntries{{
      {"audio_export_req", &Engine::onAudioExportReq},
      {"backend", &Engine::onBackend},
      {"bar", &Engine::onBar},
      {"bars", &Engine::onBars},
      {"blend", &Engine::onBlend},
      {"canvas_arm", &Engine::onCanvasArm},
      {"cloud:catalog", &Engine::onCloudCatalog},
      {"cloud:error", &Engine::onCloudError},
      {"cloud:wsurl", &Engine::onCloudWsUrl},
      {"depth", &Engine::onDepth},
      {"ext:close", &Engine::onExtClose},
      {"ext:conn", &Engine::onExtConn},
      {"ext:data", &Engine::onExtData},
      {"feed", &Engine::onFeed},
      {"feed_mix", &Engine::onFeedMix},
      {"fixed_arm", &Engine::onFixedArm},
      {"key", &Engine::onKey},
      {"knob", &Engine::onKnob},
      {"knob_clear", &Engine::onKnobClear},
      {"knob_enum", &Engine::onKnobEnum},
      {"live_path", &Engine::onLivePath},
      {"loop", &Engine::onLoop},
      {"loop_len", &Engine::onLoopLen},
      {"loop_start", &Engine::onLoopStart},
      {"lora", &Engine::onLora},
      {"lora_off", &Engine::onLoraOff},
      {"lora_slot", &Engine::onLoraSlot},
      {"lora_strength", &Engine::onLoraStrength},
      {"macro", &Engine::onMacro},
      {"macroval", &Engine::onMacroVal},
      {"preset:data", &Engine::onPresetData},
      {"preset:write_failed", &Engine::onPresetWriteFailed},
      {"projroot", &Engine::onProjRoot},
      {"projscale", &Engine::onProjScale},
      {"prompt", &Engine::onPrompt},
      {"prompt_ab", &Engine::onPromptAB},
      {"prompt_b", &Engine::onPromptB},
      {"quant", &Engine::onQuant},
      {"recall", &Engine::onRecall},
      {"sa3_duration", &Engine::onSa3Duration},
      {"sde", &Engine::onSde},
      {"section", &Engine::onSection},
      {"seek", &Engine::onSeek},
      {"snapshot_req", &Engine::onSnapshotReq},
      {"splice_arm", &Engine::onSpliceArm},
      {"start", &Engine::onStart},
      {"steps", &Engine::onSteps},
      {"stop", &Engine::onStop},
      {"structure", &Engine::onStructure},
      {"structure_clear", &Engine::onStructureClear},
      {"swap", &Engine::onSwap},
      {"tempo", &Engine::onTempo},
      {"tick:param", &Engine::onTickParam},
      {"tick:reconnect", &Engine::onTickReconnect},
      {"timbre", &Engine::onTimbre},
      {"timbre_clear", &Engine::onTimbreClear},
      {"timbre_strength", &Engine::onTimbreStrength},
      {"transport", &Engine::onTransport},
      {"ws:buffered", &Engine::onWsBuffered},
      {"ws:close", &Engine::onWsClose},
      {"ws:data", &Engine::onWsData},
      {"ws:open", &Engine::onWsOpen},
  }};
};

Engine::Handler Engine::handlerFor(std::string_view selector) {
  constexpr const auto& table = InletTable::kEntries;
  static_assert(table.size() == 62, "the engine accepts 62 selectors");
  static_assert(table.size() < kSlots / 2, "the slot table must stay sparse");
  static_assert(strictlyAscending(table), "the inlet table must be sorted and free of duplicates");
  static constexpr std::array<std::uint8_t, kSlots> kSlotOf = slotsFor(table);

  for (std::size_t at = hashOf(selector) & (kSlots - 1);; at = (at + 1) & (kSlots - 1)) {
    const std::uint8_t index = kSlotOf[at];
    if (index == kEmpty) return nullptr;
    const auto& entry = table[index];
    if (entry.first.size() == selector.size() && sameBytes(entry.first, selector)) return entry.second;
  }
}

bool Engine::accepts(std::string_view selector) { return handlerFor(selector) != nullptr; }

std::size_t Engine::selectorCount() { return InletTable::kEntries.size(); }

std::string_view Engine::selectorAt(std::size_t index) {
  return index < InletTable::kEntries.size() ? InletTable::kEntries[index].first : std::string_view();
}

}  // namespace omber::engine

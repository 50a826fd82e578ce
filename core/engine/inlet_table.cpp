// The inlet table: every selector the engine accepts and its handler.
#include <algorithm>
#include <array>
#include <utility>

#include "core/engine/engine.h"

namespace omber {
namespace {

template <typename Table>
constexpr bool strictlyAscending(const Table& table) {
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (!(table[i - 1].first < table[i].first)) return false;
  }
  return true;
}

}  // namespace

// Sorted byte-wise so that lookup is a binary search over exact matches. A
// nested type of Engine, so that it may name the private handlers.
struct Engine::InletTable {
  static constexpr std::array<std::pair<std::string_view, Handler>, 61> kEntries{{
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
  static_assert(table.size() == 61, "the engine accepts 61 selectors");
  static_assert(strictlyAscending(table), "the inlet table must be sorted and free of duplicates");
  const auto it = std::lower_bound(table.begin(), table.end(), selector,
                                   [](const auto& entry, std::string_view s) { return entry.first < s; });
  return it != table.end() && it->first == selector ? it->second : nullptr;
}

bool Engine::accepts(std::string_view selector) { return handlerFor(selector) != nullptr; }

std::size_t Engine::selectorCount() { return InletTable::kEntries.size(); }

}  // namespace omber

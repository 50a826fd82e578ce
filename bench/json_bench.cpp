// JSON parsing of a readiness document (~300 bytes) and a preset document
// (~4 KiB) against RapidJSON's full-precision DOM parse of the same text
// (both build a fresh document per parse and round every number correctly).
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <string>

#include "bench/ratio.h"
#include "core/base/json.h"

namespace {

const char kReadiness[] =
    R"({"type":"ready","duration":120.5,"bpm":128,"key":"G# minor","time_signature":"4/4","channels":2,)"
    R"("source_epoch":3,"capabilities":{"loop_band":true},"knob_manifest":[{"name":"denoise","default":0.7,)"
    R"("min":0,"max":1},{"name":"guidance_scale","default":7,"min":1,"max":15},{"name":"shift","default":3.5}],)"
    R"("sample_rate":48000})";

std::string presetDocument() {
  std::string controls;
  // clang-format off
  const char* names[] = {"denoise", "hint_strength", "feedback", "feedback_depth", "shift", "ch_g0", "ch_g1",
                         "ch_g2", "ch_g3", "ch_g4", "ch_g5", "ch_g6", "ch_g7", "ch13", "ch14", "ch19", "ch23",
                         "ch29", "ch56", "dcw_scaler", "dcw_high_scaler", "lora_default_strength",
                         "guidance_scale", "cfg_rescale"};
  // clang-format on
  int i = 0;
  for (const char* n : names) {
    controls += std::string(i ? "," : "") + "\"" + n + "\":" + std::to_string(0.125 * i);
    ++i;
  }
  controls += R"(,"dcw_enabled":true,"dcw_mode":"double","dcw_wavelet":"haar","rcfg_mode":"off")";
  for (int k = 0; k < 40; ++k) controls += ",\"macro_" + std::to_string(k) + "\":0.4420000000000002";
  std::string ranges;
  for (int k = 0; k < 14; ++k) {
    ranges += std::string(k ? "," : "") + "\"ch_g" + std::to_string(k) + R"(":{"min":0,"max":2.45,"reverse":false})";
  }
  return R"({"version":1,"engine":{"sde":false,"lora":true,"depth":4,"vae_window":0.36,"crop":0,"steps":8,)"
         R"("fast_vae":false,"walk_window":false,"walk_window_s":60,"lead_floor_s":0.25,"lead_ceiling_s":1.35,)"
         R"("lead_release_tau_s":1.5,"max_source_duration_s":120,"key":"G# minor","time_signature":"4",)"
         R"("enabled_loras":[{"name":"deep house","strength":0.8},{"name":"lofi tape","strength":1.25}],)"
         R"("auto_prepend_lora_triggers":true,"show_incompatible_loras":false},"prompts":{"a":"heavy dubstep, )"
         R"(deathstep, afxdump, growl heavy bass distortion","b":"french house style, beautiful, four to the )"
         R"(floor, angelic","blend":0.4},"controls":{)" +
         controls + R"(},"channel_ranges":{)" + ranges +
         R"(},"seed":0,"swap_source_mode":"instruments","web":{"effects":{"parallax_strength":0.4,)"
         R"("bloom_on_kick":0.3,"bloom_threshold":0.15,"warp_strength":0.4},"audio":{"lufs_enabled":false,)"
         R"("lufs_window_sec":3,"lufs_metric":"lufs","lufs_peak_headroom":4,"lufs_silence_floor_db":30,)"
         R"("lufs_silence_floor_hysteresis_db":6},"reset_seconds":0,"denoise_session_gate":{"enabled":true,)"
         R"("glide_ms":700},"restart_song_on_swap":true},"ableton":{"loop":{"startBar":-1,"lenBars":4},)"
         R"("quantBars":1},"inputs":{"timbre":{"kind":"fixture","name":"vinyl crackle \u00e9t\u00e9"},)"
         R"("structure":{"kind":"clip","name":"break","wavBase64":"UklGRiQAAABXQVZFZm10IBAAAAABAAEAgLsAAAB3AQACABAAZGF0YQAAAAA="}}})";
}

void BM_JsonParse(benchmark::State& state) {
  const std::string text = state.range(0) == 0 ? std::string(kReadiness) : presetDocument();
  omber::bench::measureRatio(
      state,
      [&] {
        rapidjson::Document d;
        d.Parse<rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
        benchmark::DoNotOptimize(d.HasParseError());
      },
      [&] {
        omber::base::JsonValue v;
        benchmark::DoNotOptimize(omber::base::parseJson(text, v));
      });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["document_bytes"] = static_cast<double>(text.size());
}

}  // namespace

// Arg 0: readiness document, 1: preset document.
BENCHMARK(BM_JsonParse)->Apply(omber::bench::ratioBenchmark)->Arg(0)->Arg(1);
BENCHMARK_MAIN();

// Feeds arbitrary stored strings to the engine's recall paths: "recall" with
// raw text, with the input wrapped as a "v1." or a "v2." snapshot text (so
// the fuzzer reaches the document appliers, not only the decoders), and
// "preset:data". The engine must neither crash nor let an exception out,
// and whatever state a recall leaves must save again as documents that
// parse: a recalled value may never make the next save write broken JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/base/base64.h"
#include "core/documents/preset_document.h"
#include "core/engine/engine.h"
#include "core/base/compression.h"
#include "core/base/json.h"

namespace {

constexpr const char* kCatalog =
    R"([{"id":"vhs","name":"VHS Tape","trigger":"VHS tape"},{"id":"lofi","name":"Lo-Fi","trigger":"lofi"}])";
constexpr const char* kManifest = R"({"knobs":{"denoise":{"default":0.7,"min":0,"max":1},"texture":{"default":0.2}}})";

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::string> presets;    // documents of "preset:write"
  std::vector<std::string> snapshots;  // texts of "snapshot"
  omber::engine::Engine engine([&](const std::string& selector, const omber::base::Atoms& atoms) {
    if (selector == "preset:write") presets.push_back(omber::base::stringAt(atoms, 1));
    if (selector == "snapshot") snapshots.push_back(omber::base::stringAt(atoms, 0));
  });
  engine.inlet("cloud:catalog", omber::base::Atoms{omber::base::Atom(kCatalog)});
  omber::base::JsonValue manifest;
  omber::base::parseJson(kManifest, manifest);
  // The server session fills this from its readiness information.
  const_cast<omber::server::ServerSession&>(engine.session()).knobManifest = manifest;

  // The first byte picks the path and the session state, the rest is the text.
  const std::uint8_t mode = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode & 0x10) engine.live().readiness().apply({});
  if (mode & 0x20) engine.live().playback().start(2, 0);  // a stream plays
  engine.inlet("live_path", omber::base::Atoms{omber::base::Atom("/sets/gig/gig.als")});

  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  switch (mode & 3) {
    case 0: engine.inlet("recall", omber::base::Atoms{omber::base::Atom(text)}); break;
    case 1:
      engine.inlet("recall", omber::base::Atoms{
                                 omber::base::Atom("v1." + omber::base::base64EncodeSnapshot(bytes, text.size()))});
      break;
    case 2: {
      const std::vector<std::uint8_t> packed = omber::base::deflateRaw(bytes, text.size());
      engine.inlet("recall", omber::base::Atoms{omber::base::Atom(
                                 "v2." + omber::base::base64EncodeSnapshot(packed.data(), packed.size()))});
      break;
    }
    default: engine.inlet("preset:data", omber::base::Atoms{omber::base::Atom(text)});
  }
  engine.inlet("bar", {});  // runs a recall deferred while playing

  // Saved once as a preset file and once as a snapshot text, the state must
  // give documents that read back.
  engine.live().playback().stop();
  engine.inlet("snapshot_req", omber::base::Atoms{omber::base::Atom(text)});
  engine.inlet("live_path", {});
  engine.inlet("snapshot_req", {});
  check(presets.size() == 1 && snapshots.size() == 2);
  omber::base::JsonValue doc;
  check(omber::base::parseJson(presets[0], doc) && doc.isObject());
  check(omber::documents::decodeSnapshotText(snapshots[1]).has_value());
  return 0;
}

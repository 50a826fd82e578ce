// An engine fixture for the controls, prompts and presets: the LoRA catalog,
// the server's knob manifest, and readable views of what the engine emitted.
#pragma once

#include <string>
#include <vector>

#include "core/base/json.h"
#include "engine/engine_fixture.h"

namespace omber::testing {
using namespace omber::engine;

class DocumentsTest : public EngineTest {
 protected:
  // Two adapters whose triggers differ only in letter case, and one more.
  static constexpr const char* kCatalog = R"([{"id":"vhs","name":"VHS Tape","trigger":"VHS tape"},)"
                                          R"({"id":"tape2","name":"Tape Two","trigger":" vhs TAPE "},)"
                                          R"({"id":"lofi","name":"Lo-Fi","trigger":"lofi crunch"}])";

  void installCatalog(const char* json = kCatalog) { send("cloud:catalog", json); }

  // The readiness information's manifest, as the server session keeps it
  // (the session's own readiness handling fills it in a live session).
  void installManifest(const std::string& json) {
    JsonValue manifest;
    ASSERT_TRUE(parseJson(json, manifest)) << json;
    const_cast<ServerSession&>(engine.session()).knobManifest = manifest;
  }

  // Each "echo" as one line: the name and its atoms separated by spaces.
  std::vector<std::string> echoes() const {
    std::vector<std::string> out;
    for (const Message& m : recorder.with("echo")) {
      std::string line;
      for (std::size_t i = 0; i < m.atoms.size(); ++i) {
        if (i) line += ' ';
        line += m.text(i);
      }
      out.push_back(line);
    }
    return out;
  }

  // The texts of the server commands, in order.
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const Message& m : recorder.with("ws:send")) out.push_back(m.bytesText(0));
    return out;
  }

  const KnobValue* knob(const std::string& name) const { return findKnob(engine.settings().knobs, name); }

  double knobNumber(const std::string& name) const {
    const KnobValue* v = knob(name);
    return v && v->kind == KnobValue::Number ? v->number : -12345.0;
  }
};

}  // namespace omber::testing

// Knobs, macros, the LoRA catalog and slots, the echoes, and stored
// controls applied to the knob table.
#include "core/documents/controls.h"

#include <gtest/gtest.h>

#include <limits>

#include "documents/documents_fixture.h"

namespace omber::documents {
using namespace omber::engine;
namespace {

using testing::DocumentsTest;
using testing::Recorder;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

JsonValue parsed(const std::string& text) {
  JsonValue v;
  EXPECT_TRUE(parseJson(text, v)) << text;
  return v;
}

std::vector<std::string> names(const KnobTable& table) {
  std::vector<std::string> out;
  for (const auto& entry : table) out.push_back(entry.first);
  return out;
}

TEST_F(DocumentsTest, KnobTableKeepsTheOrderOfFirstSetting) {
  send("knob", Atoms{Atom("denoise"), Atom(0.5)});
  send("knob_enum", Atoms{Atom("dcw_mode"), Atom("single")});
  send("knob", Atoms{Atom("shift"), Atom(2.0)});
  send("knob", Atoms{Atom("denoise"), Atom(0.25)});  // updated in place
  EXPECT_EQ(knobTableJson(engine.settings().knobs), R"({"denoise":0.25,"dcw_mode":"single","shift":2})");
  send("knob_clear", "dcw_mode");
  send("knob_clear", "never-set");
  EXPECT_EQ(names(engine.settings().knobs), (std::vector<std::string>{"denoise", "shift"}));
  send("knob_clear", "denoise");
  send("knob_clear", "shift");
  EXPECT_EQ(knobTableJson(engine.settings().knobs), "{}");
  EXPECT_TRUE(recorder.messages.empty());  // knobs reach the server by telemetry only
}

TEST_F(DocumentsTest, NonFiniteNumbersLeaveTheControlsAsTheyWere) {
  installManifest(R"({"knobs":{"shift":{"min":-1e999,"max":1}}})");
  send("knob", Atoms{Atom("denoise"), Atom(0.5)});
  send("macro", Atoms{Atom(1.0), Atom("denoise")});
  send("macro", Atoms{Atom(2.0), Atom("shift")});
  installCatalog();
  send("lora_slot", Atoms{Atom(1.0), Atom(1.0)});
  const KnobTable before = engine.settings().knobs;

  send("knob", Atoms{Atom("denoise"), Atom(kNaN)});
  send("knob", Atoms{Atom("denoise"), Atom("inf")});
  send("knob", Atoms{Atom("fresh"), Atom(-kInf)});
  send("macroval", Atoms{Atom(1.0), Atom(kNaN)});
  send("macroval", Atoms{Atom(1.0), Atom(kInf)});
  send("macroval", Atoms{Atom(2.0), Atom(0.5)});  // the range itself is not finite
  send("lora_strength", Atoms{Atom(1.0), Atom(kInf)});
  send("lora_strength", Atoms{Atom(2.0), Atom(kNaN)});

  EXPECT_EQ(knobTableJson(engine.settings().knobs), knobTableJson(before));
  EXPECT_EQ(engine.settings().loraSlots[0].strength, 1.0);
  EXPECT_EQ(engine.settings().loraSlots[1].strength, 1.0);
  EXPECT_EQ(engine.live().sessionLoras[0].strength, 1.0);

  readyAndPlaying();
  send("lora", Atoms{Atom("vhs"), Atom(kNaN)});
  send("timbre_strength", Atoms{Atom(-kInf)});
  EXPECT_TRUE(commands().empty());
}

TEST_F(DocumentsTest, MacrosDriveTheirKnobOverTheManifestRange) {
  send("macroval", Atoms{Atom(3.0), Atom(0.5)});  // no binding yet
  EXPECT_TRUE(engine.settings().knobs.empty());

  installManifest(R"({"knobs":{"denoise":{"min":0.2,"max":0.8,"default":0.7},"shift":{"max":"high"}}})");
  send("macro", Atoms{Atom(3.0), Atom("denoise")});
  send("macroval", Atoms{Atom(3.0), Atom(0.5)});
  EXPECT_DOUBLE_EQ(knobNumber("denoise"), 0.5);
  send("macroval", Atoms{Atom(3.4), Atom(7.0)});  // index rounds to 3, value clamps to 1
  EXPECT_DOUBLE_EQ(knobNumber("denoise"), 0.8);
  send("macroval", Atoms{Atom(3.0), Atom(-2.0)});
  EXPECT_DOUBLE_EQ(knobNumber("denoise"), 0.2);

  // Rebinding removes the knob the macro drove; the same binding again removes nothing.
  send("macro", Atoms{Atom(3.0), Atom("shift")});
  EXPECT_EQ(knob("denoise"), nullptr);
  send("macroval", Atoms{Atom(3.0), Atom(0.25)});  // "max" is not a number: 0..1 stands
  EXPECT_DOUBLE_EQ(knobNumber("shift"), 0.25);
  send("macro", Atoms{Atom(3.0), Atom("shift")});
  EXPECT_DOUBLE_EQ(knobNumber("shift"), 0.25);

  // A binding to the empty name drives nothing.
  send("macro", Atoms{Atom(-7.0), Atom("")});
  send("macroval", Atoms{Atom(-7.0), Atom(1.0)});
  EXPECT_EQ(names(engine.settings().knobs), std::vector<std::string>{"shift"});
  EXPECT_TRUE(recorder.messages.empty());
}

TEST(LoraCatalog, ParsesEntriesAndToleratesEverythingElse) {
  const LoraCatalog catalog =
      parseLoraCatalog(R"([{"id":"a","name":"A","trigger":"t"},7,{"id":3,"name":"N"},{"trigger":"only"}])");
  ASSERT_EQ(catalog.size(), 4u);
  EXPECT_EQ(catalog[0].id, "a");
  EXPECT_EQ(catalog[0].name, "A");
  EXPECT_EQ(catalog[0].trigger, "t");
  EXPECT_EQ(catalog[1].id + catalog[1].name + catalog[1].trigger, "");
  EXPECT_EQ(catalog[2].id, "");
  EXPECT_EQ(catalog[2].name, "N");
  EXPECT_EQ(catalog[3].trigger, "only");
  EXPECT_TRUE(parseLoraCatalog(R"({"id":"a"})").empty());
  EXPECT_TRUE(parseLoraCatalog("[1,").empty());
  EXPECT_TRUE(parseLoraCatalog("").empty());
  EXPECT_EQ(catalogNumberOfId(catalog, "a"), 1);
  EXPECT_EQ(catalogNumberOfId(catalog, ""), 0);
  EXPECT_EQ(catalogNumberOfName(catalog, "N"), 3);
  EXPECT_EQ(catalogNumberOfName(catalog, "missing"), 0);
}

TEST_F(DocumentsTest, ACatalogThatIsNotAnArrayEmptiesIt) {
  installCatalog();
  EXPECT_EQ(engine.settings().loraCatalog.size(), 3u);
  send("cloud:catalog", R"({"loras":[]})");
  EXPECT_TRUE(engine.settings().loraCatalog.empty());
}

TEST_F(DocumentsTest, SlotsStoreWhileNotReadyAndTellAReadyServer) {
  installCatalog();
  send("lora_strength", Atoms{Atom(2.0), Atom(0.6)});  // empty slot: only stored
  EXPECT_EQ(engine.settings().loraSlots[1].strength, 0.6);
  EXPECT_TRUE(engine.settings().knobs.empty());
  send("lora_slot", Atoms{Atom(2.0), Atom(3.0)});
  EXPECT_EQ(engine.settings().loraSlots[1].id, "lofi");
  EXPECT_DOUBLE_EQ(knobNumber("lora_str_lofi"), 0.6);
  EXPECT_EQ(engine.live().sessionLoras[1].id, "lofi");
  EXPECT_EQ(engine.live().sessionLoras[1].strength, 0.6);
  EXPECT_TRUE(recorder.messages.empty());

  engine.live().readiness().apply({});
  send("lora_slot", Atoms{Atom(1.0), Atom(1.0)});
  send("lora_strength", Atoms{Atom(1.0), Atom(0.3)});  // strength only via telemetry
  send("lora_slot", Atoms{Atom(1.0), Atom(1.0)});      // the same LoRA again: nothing
  send("lora_slot", Atoms{Atom(2.0), Atom(0.0)});      // out of range empties the slot
  send("lora_slot", Atoms{Atom(3.0), Atom(1.0)});      // no slot 3
  EXPECT_EQ(commands(), (std::vector<std::string>{
                            R"({"type":"enable_lora","id":"vhs","strength":1})",
                            R"({"type":"prompt","tags":"VHS tape, lofi crunch, instrumental electronic music"})",
                            R"({"type":"disable_lora","id":"lofi"})",
                            R"({"type":"prompt","tags":"VHS tape, instrumental electronic music"})",
                        }));
  EXPECT_EQ(knob("lora_str_lofi"), nullptr);
  EXPECT_DOUBLE_EQ(knobNumber("lora_str_vhs"), 0.3);
  EXPECT_FALSE(engine.live().sessionLoras[1].id);
  EXPECT_EQ(engine.live().sessionLoras[0].strength, 0.3);
}

TEST(Echo, WordsAreSplitOnRunsOfWhitespace) {
  Recorder r;
  echoWords(r.transport(), "dcw_mode", " \t double   haar \n");
  echoWords(r.transport(), "promptB", "   ");
  echoNumber(r.transport(), "blend", 1.7);
  ASSERT_EQ(r.messages.size(), 3u);
  EXPECT_EQ(r.messages[0].selector, "echo");
  ASSERT_EQ(r.messages[0].atoms.size(), 3u);
  EXPECT_EQ(r.messages[0].text(1), "double");
  EXPECT_EQ(r.messages[0].text(2), "haar");
  EXPECT_EQ(r.messages[1].atoms.size(), 1u);
  ASSERT_TRUE(r.messages[2].atoms[1].isNumber());
  EXPECT_EQ(r.messages[2].number(1), 1.7);
}

// The echoes of the recorder, one "name value..." line each.
std::vector<std::string> echoLines(const Recorder& r) {
  std::vector<std::string> out;
  for (const auto& m : r.messages) {
    std::string line;
    for (std::size_t i = 0; i < m.atoms.size(); ++i) line += (i ? " " : "") + m.text(i);
    out.push_back(line);
  }
  return out;
}

TEST(ApplyControls, WithoutAManifestEveryDefaultIsSetAndEchoedAsOverridden) {
  Recorder r;
  KnobTable table;
  setKnob(table, "lora_str_x", KnobValue::ofNumber(0.9));
  const JsonValue controls =
      parsed(R"({"shift":2,"dcw_enabled":false,"steps":12,"lora_str_x":5,"dcw_mode":"single band","ch_g0":1e999})");
  applyControls(table, nullptr, &controls, r.transport());
  ASSERT_EQ(knobDefaults().size(), 28u);
  ASSERT_EQ(table.size(), 30u);  // the strength knob, 28 defaults, "steps"
  EXPECT_EQ(table[0].first, "lora_str_x");
  EXPECT_EQ(table[0].second.number, 0.9);  // never applied from stored controls
  const std::vector<std::string> lines = echoLines(r);
  ASSERT_EQ(lines.size(), 29u);
  EXPECT_EQ(lines.front(), "denoise 0.7");
  EXPECT_EQ(lines[4], "shift 2");
  EXPECT_EQ(lines[5], "ch_g0 1");  // a number beyond the double range keeps the default
  EXPECT_EQ(lines[21], "dcw_enabled 0");
  EXPECT_EQ(lines[22], "dcw_mode single band");
  EXPECT_EQ(lines[27], "rcfg_mode off");
  EXPECT_EQ(lines.back(), "steps 12");
  EXPECT_EQ(findKnob(table, "dcw_mode")->text, "single band");
  EXPECT_FALSE(findKnob(table, "dcw_enabled")->flag);

  // A missing or non-object controls member applies the defaults alone.
  KnobTable plain;
  const JsonValue notAnObject = parsed("[1]");
  applyControls(plain, nullptr, &notAnObject, r.transport());
  EXPECT_EQ(knobTableJson(plain), knobTableJson(knobDefaults()));
}

TEST(ApplyControls, TheManifestOrderComesFirstAndItsDefaultsFillIn) {
  Recorder r;
  KnobTable table;
  const JsonValue manifest =
      parsed(R"({"extra":{"default":"wide"},"shift":{"default":9},"lora_str_a":{"default":1},"bare":{"min":0},)"
             R"("nothing":7})");
  const JsonValue controls = parsed(R"({"shift":2.5,"null_knob":null})");
  applyControls(table, &manifest, &controls, r.transport());
  const std::vector<std::string> lines = echoLines(r);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "extra wide");  // not in the working list: its manifest default
  EXPECT_EQ(lines[1], "shift 2.5");   // the working list wins over the default
  EXPECT_EQ(lines[2], "denoise 0.7");
  EXPECT_EQ(lines.back(), "null_knob 0");
  EXPECT_EQ(lines.size(), 2u + 27u + 1u);  // shift is not repeated
  EXPECT_EQ(findKnob(table, "lora_str_a"), nullptr);
  EXPECT_EQ(findKnob(table, "bare"), nullptr);
  EXPECT_EQ(findKnob(table, "nothing"), nullptr);
}

TEST(ApplyKnobSnapshot, ManifestKnobsFirstThenTheSnapshotsOwn) {
  Recorder r;
  KnobTable table;
  setKnob(table, "kept", KnobValue::ofNumber(3));
  const JsonValue manifest =
      parsed(R"({"denoise":{"default":0.7},"shift":{"default":3.5},"guidance":{"min":1},"lora_str_a":{"default":1}})");
  const JsonValue knobs = parsed(R"({"steps":8,"shift":1e999,"denoise":0.4,"lora_str_a":2,"mode":"x y"})");
  applyKnobSnapshot(table, &manifest, &knobs, r.transport());
  EXPECT_EQ(echoLines(r), (std::vector<std::string>{"denoise 0.4", "shift 3.5", "steps 8", "mode x y"}));
  EXPECT_EQ(knobTableJson(table), R"({"kept":3,"denoise":0.4,"shift":3.5,"steps":8,"mode":"x y"})");

  // Without a manifest only the snapshot's members; without knobs nothing.
  Recorder r2;
  KnobTable other;
  applyKnobSnapshot(other, nullptr, &knobs, r2.transport());
  EXPECT_EQ(knobTableJson(other), R"({"steps":8,"denoise":0.4,"mode":"x y"})");
  applyKnobSnapshot(other, nullptr, nullptr, r2.transport());
  EXPECT_EQ(r2.messages.size(), 3u);
}

TEST(KnobValues, FromJsonByKind) {
  EXPECT_EQ(knobValueFromJson(parsed(R"("w")"))->kind, KnobValue::String);
  EXPECT_TRUE(knobValueFromJson(parsed("true"))->flag);
  EXPECT_EQ(knobValueFromJson(parsed("-2.5"))->number, -2.5);
  for (const char* zero : {"null", "[3]", R"({"a":1})"}) {
    const auto v = knobValueFromJson(parsed(zero));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, KnobValue::Number);
    EXPECT_EQ(v->number, 0.0);
  }
  EXPECT_FALSE(knobValueFromJson(parsed("-1e400")));
}

}  // namespace
}  // namespace omber::documents

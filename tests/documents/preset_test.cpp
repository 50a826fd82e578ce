// Saving the state as a preset file or a snapshot text and recalling it:
// round trips, the defaults of a sparse document, reference inputs, bad
// stored strings and the recall deferred to the next bar line.
#include "core/documents/preset_document.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <algorithm>

#include "core/base/base64.h"
#include "core/audiofile/wav.h"
#include "core/documents/config_files.h"
#include "core/base/number_text.h"
#include "core/base/compression.h"
#include "documents/documents_fixture.h"

namespace omber::documents {
using namespace omber::audiofile;
using namespace omber::engine;
namespace {

using testing::DocumentsTest;
using testing::Message;

std::string v1Text(const std::string& document, bool urlSafe = true) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(document.data());
  return "v1." +
         (urlSafe ? base64EncodeSnapshot(bytes, document.size()) : base64EncodeStandard(bytes, document.size()));
}

std::string v2OfBytes(const std::vector<std::uint8_t>& packed) {
  return "v2." + base64EncodeSnapshot(packed.data(), packed.size());
}

// Interleaved samples as the base64 text of a 16-bit WAV file.
std::string clipBase64(const std::vector<float>& samples, int channels) {
  const std::vector<std::uint8_t> wav =
      encodeWavPcm16(samples.data(), samples.size() / static_cast<std::size_t>(channels), channels, 48000);
  return base64EncodeStandard(wav.data(), wav.size());
}

class PresetTest : public DocumentsTest {
 protected:
  void SetUp() override {
    installCatalog();
    installManifest(R"({"knobs":{"denoise":{"default":0.7,"min":0,"max":1},"guidance_scale":{"default":7},)"
                    R"("lora_str_vhs":{"default":1},"texture":{"default":0.25}}})");
  }

  // A state that differs from the engine's start in every stored part.
  void performState() {
    send("prompt", "deep house");
    send("prompt_b", "ambient pads");
    send("blend", 0.65);
    send("bars", 8);
    send("loop_start", 16);
    send("quant", 2);
    send("knob", Atoms{Atom("denoise"), Atom(0.55)});
    send("knob", Atoms{Atom("steps_extra"), Atom(3.0)});
    send("knob_enum", Atoms{Atom("dcw_mode"), Atom("single")});
    send("lora_strength", Atoms{Atom(2.0), Atom(0.6)});
    send("lora_slot", Atoms{Atom(1.0), Atom(1.0)});
    send("lora_slot", Atoms{Atom(2.0), Atom(3.0)});
  }

  // A different state over all of it.
  void scramble() {
    send("prompt", "other");
    send("prompt_b", "else");
    send("blend", 0.1);
    send("bars", 2);
    send("loop_start", 3);
    send("quant", 4);
    send("knob", Atoms{Atom("denoise"), Atom(0.1)});
    send("knob", Atoms{Atom("steps_extra"), Atom(9.0)});
    send("lora_slot", Atoms{Atom(1.0), Atom(0.0)});
    send("lora_slot", Atoms{Atom(2.0), Atom(2.0)});
    send("lora_strength", Atoms{Atom(2.0), Atom(1.5)});
    send("timbre", "rain");
  }

  void expectPerformState() {
    const EngineSettings& s = engine.settings();
    EXPECT_EQ(s.promptA, "deep house");
    EXPECT_EQ(s.promptB, "ambient pads");
    EXPECT_EQ(s.blendTarget, 0.65);
    EXPECT_EQ(engine.live().grid().loopStartBar(), 16);
    EXPECT_EQ(engine.live().grid().loopLength(), 8);
    EXPECT_EQ(engine.live().grid().quantisation(), 2.0);
    EXPECT_EQ(knobNumber("denoise"), 0.55);
    EXPECT_EQ(knobNumber("steps_extra"), 3.0);
    EXPECT_EQ(s.loraSlots[0].id, "vhs");
    EXPECT_EQ(s.loraSlots[0].strength, 1.0);
    EXPECT_EQ(s.loraSlots[1].id, "lofi");
    EXPECT_EQ(s.loraSlots[1].strength, 0.6);
    EXPECT_EQ(knobNumber("lora_str_lofi"), 0.6);
    EXPECT_EQ(engine.live().sessionLoras[1].id, "lofi");
  }

  // Everything a recall can change, as one comparable text.
  std::string stateSummary() {
    const EngineSettings& s = engine.settings();
    std::string out = s.promptA + "|" + s.promptB.value_or("<none>") + "|" + formatNumber(s.blendTarget) + "|";
    out += std::to_string(engine.live().grid().loopStartBar()) + "|" +
           std::to_string(engine.live().grid().loopLength()) + "|";
    out += formatNumber(engine.live().grid().quantisation()) + "|" + knobTableJson(s.knobs) + "|";
    for (const LoraSlot& slot : s.loraSlots) out += slot.id + ":" + formatNumber(slot.strength) + "|";
    out += s.timbreFixture.value_or("") + s.timbreDescription.value_or("") + "|";
    out += s.structureFixture.value_or("") + s.structureDescription.value_or("") + "|";
    return out + engine.live().timbre.name + engine.live().structure.name;
  }

  // "snapshot_req" with an argument; the messages it emitted.
  std::vector<Message> save(const std::string& arg = "") {
    recorder.clear();
    send("snapshot_req", arg.c_str());
    return recorder.messages;
  }
};

TEST_F(PresetTest, WithoutALiveSetFolderSavingGivesOnlyASnapshotText) {
  performState();
  const std::vector<Message> out = save("file:Omber/configs/abc.json");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].selector, "snapshot");
  const std::string text = out[0].text(0);
  ASSERT_EQ(text.rfind("v2.", 0), 0u);
  EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", 3),
            std::string::npos);

  // The document inside, member by member.
  const std::optional<JsonValue> doc = decodeSnapshotText(text);
  ASSERT_TRUE(doc);
  std::vector<std::string> members;
  for (const JsonMember& m : doc->members()) members.push_back(std::string(m.key()));
  EXPECT_EQ(members, (std::vector<std::string>{"knobs", "prompt", "promptB", "blend", "loras", "loop", "quantBars",
                                               "selectedFixture"}));
  EXPECT_EQ(snapshotDocument({engine.settings().knobs, engine.settings().loraSlots, engine.settings().loraCatalog,
                              manifestKnobs(engine.session().knobManifest), "deep house", "ambient pads", 0.65, 16, 8,
                              2.0, "", ""}),
            R"({"knobs":{"denoise":0.55,"guidance_scale":7,"texture":0.25,"steps_extra":3},)"
            R"("prompt":"deep house","promptB":"ambient pads","blend":0.65,)"
            R"("loras":[{"slot":1,"id":"vhs","strength":1},{"slot":2,"id":"lofi","strength":0.6}],)"
            R"("loop":{"startBar":16,"lenBars":8},"quantBars":2,"selectedFixture":null})");

  scramble();
  recorder.clear();
  send("recall", text.c_str());
  expectPerformState();
  // Every applied value is echoed, in the order of application.
  EXPECT_EQ(echoes(),
            (std::vector<std::string>{"quant 2", "denoise 0.55", "guidance_scale 7", "texture 0.25", "steps_extra 3",
                                      "prompt deep house", "promptB ambient pads", "blend 0.65", "lora1str 1",
                                      "lora1 1", "lora2str 0.6", "lora2 3", "loopStart 16", "loopLen 8"}));
}

TEST_F(PresetTest, APresetFileRoundTripsThroughTheHost) {
  send("live_path", Atoms{Atom("/Users/me/Gig"), Atom("Project/Gig.als")});
  performState();
  const std::string clip = clipBase64({0.5f, -0.5f, 0.25f, -0.25f, 1.0f, -1.0f}, 2);
  ASSERT_TRUE(recorder.with("ws:send").empty());
  send("preset:data", (R"({"inputs":{"timbre":{"kind":"fixture","name":"warm vinyl"},)"
                       R"("structure":{"kind":"clip","name":"verse one","wavBase64":")" +
                       clip + R"("}}})")
                          .c_str());
  performState();  // the document above reset the rest; the inputs stay

  const std::vector<Message> out = save();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].selector, "preset:write");
  EXPECT_EQ(out[1].selector, "snapshot");
  const std::string reference = out[1].text(0);
  const std::optional<std::string> name = parseConfigReference(reference);
  ASSERT_TRUE(name) << reference;
  EXPECT_EQ(name->size(), 12u);
  EXPECT_EQ(out[0].text(0), "/Users/me/Gig Project/Omber/configs/" + *name + ".json");
  const std::string document = out[0].text(1);
  EXPECT_NE(document.find(kPresetEngineFragment), std::string::npos);
  EXPECT_NE(document.find(kPresetFixedFragment), std::string::npos);
  EXPECT_NE(document.find(R"("inputs":{"timbre":{"kind":"fixture","name":"warm vinyl"},)"
                          R"("structure":{"kind":"clip","name":"verse one","wavBase64":")" +
                          clip + "\"}}}"),
            std::string::npos);

  // Re-saving with the returned reference overwrites the same file.
  const std::vector<Message> again = save(reference);
  EXPECT_EQ(again[0].text(0), out[0].text(0));
  EXPECT_EQ(again[1].text(0), reference);

  scramble();
  send("structure_clear");
  recorder.clear();
  send("recall", reference.c_str());
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"preset:read"});
  EXPECT_EQ(recorder.messages[0].text(0), out[0].text(0));
  send("preset:data", document.c_str());
  expectPerformState();
  EXPECT_EQ(engine.settings().timbreFixture, "warm vinyl");
  EXPECT_EQ(engine.live().structure.name, "verse one");
  EXPECT_TRUE(engine.live().structure.held);
  EXPECT_EQ(engine.live().structure.channels, 2);
  ASSERT_EQ(engine.live().structure.samples.size(), 6u);
  EXPECT_EQ(engine.live().structure.samples[4], 1.0f);
  const std::vector<std::string> echoed = echoes();
  EXPECT_EQ(std::vector<std::string>(echoed.end() - 2, echoed.end()),
            (std::vector<std::string>{"timbreRefFix warm vinyl", "structRefClip verse one"}));

  // The kept descriptor goes back into the next preset unchanged.
  EXPECT_EQ(save(reference)[0].text(1), document);
}

TEST_F(PresetTest, InvalidReferencesGetANewNameAndRecallNothing) {
  send("live_path", "/sets/a.als");
  const std::string first = save("file:Omber/configs/../x.json")[1].text(0);
  const std::string second = save("file:Omber/configs/x")[1].text(0);
  EXPECT_TRUE(parseConfigReference(first));
  EXPECT_NE(first, second);
  EXPECT_NE(first, "file:Omber/configs/x.json");

  recorder.clear();
  send("recall", "file:Omber/configs/a..b.json");
  send("recall", "file:");
  send("live_path", "");
  send("recall", "file:Omber/configs/x.json");  // no Live Set folder
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(PresetTest, ASparsePresetDocumentFallsBackToTheDefaults) {
  send("timbre", "rain");
  send("structure", "verse");
  performState();
  recorder.clear();
  send("preset:data", R"({"ableton":{"loop":{"lenBars":"x"}}})");
  const EngineSettings& s = engine.settings();
  EXPECT_EQ(s.promptA, "heavy dubstep, deathstep, afxdump, growl heavy bass distortion");
  EXPECT_EQ(s.promptB, "french house style, beautiful, four to the floor, angelic");
  EXPECT_EQ(s.blendTarget, 0.4);
  for (const LoraSlot& slot : s.loraSlots) {
    EXPECT_EQ(slot.id, "");
    EXPECT_EQ(slot.strength, 1.0);
  }
  EXPECT_EQ(engine.live().grid().loopStartBar(), -1);
  EXPECT_EQ(engine.live().grid().loopLength(), 4);
  EXPECT_EQ(engine.live().grid().quantisation(), 2.0);  // no "quantBars": unchanged
  EXPECT_FALSE(s.timbreFixture);
  EXPECT_FALSE(s.structureFixture);
  EXPECT_EQ(knob("lora_str_vhs"), nullptr);
  EXPECT_EQ(knobNumber("denoise"), 0.7);  // the controls default
  const std::vector<std::string> echoed = echoes();
  ASSERT_GE(echoed.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(echoed.end() - 8, echoed.end()),
            (std::vector<std::string>{"lora1str 1", "lora1 0", "lora2str 1", "lora2 0", "loopStart -1", "loopLen 4",
                                      "timbreRefNone", "structRefNone"}));
  EXPECT_TRUE(recorder.with("ws:send").empty());  // not ready: only stored

  // While ready the same document tells the server what it cleared.
  engine.live().readiness().apply({});
  send("timbre", "rain");
  send("lora_slot", Atoms{Atom(1.0), Atom(1.0)});
  recorder.clear();
  send("preset:data", "{}");
  const std::vector<std::string> sent = commands();
  EXPECT_NE(std::find(sent.begin(), sent.end(), R"({"type":"disable_lora","id":"vhs"})"), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), R"({"type":"clear_timbre_source"})"), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), R"({"type":"clear_structure_source"})"), sent.end());
}

TEST_F(PresetTest, SnapshotMembersFollowTheirOwnRules) {
  send("prompt", "kept");
  send("prompt_b", "dropped");
  send("lora_slot", Atoms{Atom(1.0), Atom(2.0)});
  recorder.clear();
  send("recall", v1Text(R"({"blend":1.7,"loras":[{"slot":0,"id":"lofi"},{"slot":1.9,"id":"lofi","strength":0.8},)"
                        R"({"slot":"2","id":"vhs"},7,{"slot":3,"id":"vhs","strength":2},{"slot":2,"id":"nope"}],)"
                        R"("loop":{"startBar":2.5}})")
                     .c_str());
  const EngineSettings& s = engine.settings();
  EXPECT_EQ(s.promptA, "kept");
  EXPECT_FALSE(s.promptB);
  EXPECT_EQ(s.blendTarget, 1.0);
  EXPECT_EQ(s.loraSlots[0].id, "lofi");
  EXPECT_EQ(s.loraSlots[0].strength, 0.8);
  EXPECT_EQ(s.loraSlots[1].id, "");
  EXPECT_EQ(engine.live().grid().loopStartBar(), 3);
  EXPECT_EQ(engine.live().grid().loopLength(), 4);  // no "lenBars": the current length
  EXPECT_EQ(echoes(), (std::vector<std::string>{"denoise 0.7", "guidance_scale 7", "texture 0.25", "prompt kept",
                                                "promptB", "blend 1.7", "lora1str 0.8", "lora1 3", "lora3str 2",
                                                "lora3 1", "lora2 0", "loopStart 2.5", "loopLen 4"}));
  // Slot 3 is echoed but holds nothing: the two slots are as above.
  EXPECT_EQ(s.loraSlots[1].strength, 1.0);
}

TEST_F(PresetTest, ADeviceNameIsNeitherSavedNorRecalled) {
  send("live_path", "/sets/a.als");
  const std::vector<Message> out = save("file:Omber/configs/Aux.json");
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].selector, "ui:status");
  EXPECT_EQ(out[0].text(0), "preset name \"Aux\" is reserved by Windows; saved under a new name");
  EXPECT_EQ(out[1].selector, "preset:write");
  EXPECT_EQ(out[1].text(0).find("Aux"), std::string::npos);
  EXPECT_NE(out[2].text(0), "file:Omber/configs/Aux.json");

  recorder.clear();
  send("recall", "file:Omber/configs/lpt3.old.json");
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"ui:status"});
  EXPECT_EQ(recorder.messages[0].text(0), "preset name \"lpt3.old\" is reserved by Windows; not recalled");
}

// A save the host could not write leaves the device with the string it had:
// the engine takes back the reference it handed out for that file.
TEST_F(PresetTest, AFailedWriteTakesTheNewReferenceBack) {
  send("live_path", "/sets/a.als");
  const std::vector<Message> first = save("v2.previous");
  const std::string path = first[0].text(0);
  const std::string reference = first[1].text(0);
  recorder.clear();
  send("preset:write_failed", Atoms{Atom(path), Atom("disk full")});
  ASSERT_EQ(recorder.selectors(), std::vector<std::string>{"snapshot"});
  EXPECT_EQ(recorder.messages[0].text(0), "v2.previous");

  // Re-saving over the file the device already refers to: the old file is
  // still there, the device keeps its reference and nothing is sent.
  const std::string kept = save("")[1].text(0);
  const std::string keptPath = makeFilePath("/sets", *parseConfigReference(kept));
  save(kept);
  recorder.clear();
  send("preset:write_failed", Atoms{Atom(keptPath), Atom("denied")});
  EXPECT_TRUE(recorder.messages.empty());

  // Only the latest save can be taken back: the device has moved on from an
  // older one. A path the engine did not ask for changes nothing.
  const std::vector<Message> older = save("");
  save("");
  recorder.clear();
  send("preset:write_failed", Atoms{Atom(older[0].text(0)), Atom("denied")});
  send("preset:write_failed", Atoms{Atom("/elsewhere/x.json"), Atom("denied")});
  send("preset:write_failed", Atoms{Atom(path), Atom("again")});  // already taken back
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_NE(reference, "v2.previous");
}

// Stored texts over their caps are not parsed: the performer is told and
// nothing changes.
TEST_F(PresetTest, OversizedTextsAreRefusedWithAStatus) {
  installCatalog();
  send("prompt", "kept");
  recorder.clear();
  std::string preset = R"({"prompts":{"a":")" + std::string(64u << 20, 'p') + "\"}}";
  send("preset:data", preset.c_str());
  std::string().swap(preset);
  std::string stored = "v1." + std::string((16u << 20) + 1, 'A');
  send("recall", stored.c_str());
  std::string().swap(stored);
  std::string catalog = "[" + std::string(1u << 20, ' ') + "]";
  send("cloud:catalog", catalog.c_str());
  ASSERT_EQ(recorder.selectors(), (std::vector<std::string>{"ui:status", "ui:status", "ui:status"}));
  EXPECT_EQ(recorder.messages[0].text(0), "preset of 67108884 bytes ignored: over the 64 MiB limit");
  EXPECT_EQ(recorder.messages[1].text(0), "stored string of 16777220 bytes ignored: over the 16 MiB limit");
  EXPECT_EQ(recorder.messages[2].text(0), "LoRA catalog of 1048578 bytes ignored: over the 1 MiB limit");
  EXPECT_EQ(engine.settings().promptA, "kept");
  EXPECT_EQ(engine.settings().loraCatalog.size(), 3u);
}

// Each of these inlets reads its first argument as the whole text; further
// arguments are not glued onto it.
TEST_F(PresetTest, StoredStringsAreOneArgument) {
  send("live_path", "/sets/a.als");
  send("snapshot_req", Atoms{Atom("file:Omber/configs/abc.json"), Atom("extra")});
  ASSERT_EQ(recorder.with("snapshot").size(), 1u);
  EXPECT_EQ(recorder.with("snapshot")[0].text(0), "file:Omber/configs/abc.json");

  recorder.clear();
  send("recall", Atoms{Atom("file:Omber/configs/abc.json"), Atom("more")});
  ASSERT_EQ(recorder.with("preset:read").size(), 1u);
  EXPECT_EQ(recorder.with("preset:read")[0].text(0), "/sets/Omber/configs/abc.json");

  send("preset:data", Atoms{Atom(R"({"prompts":{"a":"one","b":"two","blend":0.25}})"), Atom("trailing")});
  EXPECT_EQ(engine.settings().promptA, "one");
  EXPECT_EQ(engine.settings().blendTarget, 0.25);

  send("live_path", "");
  send("recall", Atoms{Atom(v1Text(R"({"prompt":"three"})")), Atom("AAAA")});
  EXPECT_EQ(engine.settings().promptA, "three");
}

TEST_F(PresetTest, BadStoredStringsChangeNothing) {
  performState();
  send("live_path", "/sets/a.als");
  const std::string before = stateSummary();

  std::string bomb = R"({"prompt":"bomb","pad":")";
  bomb.append(9u << 20, ' ');
  bomb += "\"}";
  const std::vector<std::uint8_t> bombPacked =
      deflateRaw(reinterpret_cast<const std::uint8_t*>(bomb.data()), bomb.size());
  ASSERT_LT(bombPacked.size(), 64u * 1024);
  std::vector<std::uint8_t> corrupt = deflateRaw(reinterpret_cast<const std::uint8_t*>("{\"prompt\":\"x\"}"), 14);
  corrupt[0] |= 0x06;  // block type 3 does not exist

  const std::string texts[] = {
      "",
      "v2",
      "nodot",
      "v3." + v1Text(R"({"prompt":"x"})").substr(3),
      "V1." + v1Text(R"({"prompt":"x"})").substr(3),
      "v2.!!!!****",
      "v2.not-deflate-at-all",
      v2OfBytes(corrupt),
      v2OfBytes(bombPacked),
      v1Text(R"(["prompt","x"])"),
      v1Text(R"("prompt")"),
      v1Text(R"({"prompt":"x")"),
      v1Text(R"({"prompt":"x"} trailing)"),
      "v1.",
  };
  for (const std::string& text : texts) {
    recorder.clear();
    EXPECT_NO_THROW(decodeSnapshotText(text));
    send("recall", Atoms{Atom(text)});
    EXPECT_TRUE(recorder.messages.empty()) << text;
    EXPECT_EQ(stateSummary(), before) << text;
  }
  for (const char* data : {"", "   ", "[]", "null", "{", R"({"prompts":{"a":"x"}} x)", "\"text\""}) {
    send("preset:data", data);
    EXPECT_TRUE(recorder.messages.empty()) << data;
    EXPECT_EQ(stateSummary(), before) << data;
  }

  // The same form under the cap applies: the cap, not the form, refused the bomb.
  const std::string small = R"({"prompt":"bomb"})";
  send("recall", encodeSnapshotText(small).c_str());
  EXPECT_EQ(engine.settings().promptA, "bomb");
}

TEST_F(PresetTest, EitherBase64AlphabetAndPaddingAreRead) {
  send("recall", v1Text(R"({"prompt":"ab>?~","promptB":"x"})", false).c_str());  // "+", "/" and "="
  EXPECT_EQ(engine.settings().promptA, "ab>?~");
  EXPECT_EQ(engine.settings().promptB, "x");
}

TEST_F(PresetTest, AnUnreadableClipIsReportedAndTheRestStillApplies) {
  engine.live().readiness().apply({});
  const std::string good = clipBase64({0.25f, 0.5f, 0.75f}, 1);
  recorder.clear();
  send("preset:data", (R"({"prompts":{"a":"after","b":""},"inputs":{)"
                       R"("timbre":{"kind":"clip","name":"my \"loop\"","wavBase64":"AAAA"},)"
                       R"("structure":{"kind":"clip","name":"bells","wavBase64":")" +
                       good + R"("}}})")
                          .c_str());
  const auto status = recorder.with("ui:status");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].text(0), "inputs: skipped unreadable timbre clip \"my \"loop\"\"");
  EXPECT_EQ(engine.settings().promptA, "after");
  EXPECT_FALSE(engine.settings().promptB);
  EXPECT_FALSE(engine.live().timbre.held);
  EXPECT_FALSE(engine.settings().timbreDescription);
  EXPECT_EQ(engine.live().structure.channels, 1);
  EXPECT_EQ(engine.live().structure.samples.size(), 3u);
  EXPECT_EQ(engine.settings().structureDescription, R"({"kind":"clip","name":"bells","wavBase64":")" + good + "\"}");

  // The ready server hears the clear of the timbre and the structure audio.
  const std::vector<std::string> sent = commands();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[sent.size() - 3], R"({"type":"clear_timbre_source"})");
  EXPECT_EQ(sent[sent.size() - 2], R"({"type":"set_structure_source","name":"bells"})");
  const std::vector<std::uint8_t> audio = recorder.with("ws:send").back().bytes(0);
  ASSERT_EQ(audio.size(), 8u + 3 * 4);
  EXPECT_EQ(link::getU32(audio.data()), 1u);      // channels
  EXPECT_EQ(link::getU32(audio.data() + 4), 3u);  // frames
  const std::vector<std::string> echoed = echoes();
  EXPECT_EQ(std::vector<std::string>(echoed.end() - 2, echoed.end()),
            (std::vector<std::string>{"timbreRefNone", "structRefClip bells"}));

  // Unknown kinds, empty names and clips without audio clear the input.
  recorder.clear();
  send("preset:data", R"({"inputs":{"timbre":{"kind":"sample","name":"x"},"structure":{"kind":"clip","name":"y"}}})");
  EXPECT_FALSE(engine.live().structure.held);
  EXPECT_EQ(echoes().back(), "structRefNone");
  EXPECT_TRUE(recorder.with("ui:status").empty());
}

TEST_F(PresetTest, WhilePlayingARecallWaitsForTheNextBar) {
  send("live_path", "/sets/a.als");
  send("prompt", "first");
  send("quant", 0);  // loop changes apply at once, so only the deferral is seen
  playing();
  recorder.clear();
  send("recall", encodeSnapshotText(R"({"prompt":"second","loop":{"startBar":4,"lenBars":2}})").c_str());
  send("recall", encodeSnapshotText(R"({"prompt":"third"})").c_str());  // replaces the waiting one
  EXPECT_EQ(engine.settings().promptA, "first");
  EXPECT_TRUE(recorder.messages.empty());

  send("bar");
  EXPECT_EQ(engine.settings().promptA, "third");
  EXPECT_EQ(engine.live().grid().loopStartBar(), -1);
  EXPECT_EQ(echoes(),
            (std::vector<std::string>{"denoise 0.7", "guidance_scale 7", "texture 0.25", "prompt third", "promptB"}));
  recorder.clear();
  send("bar");  // runs once
  EXPECT_TRUE(recorder.messages.empty());

  // A preset read from a file waits the same way.
  send("preset:data", R"({"prompts":{"a":"from file"}})");
  EXPECT_EQ(engine.settings().promptA, "third");
  send("bar");
  EXPECT_EQ(engine.settings().promptA, "from file");

  // Nothing playing: applied at once.
  send("stop");
  send("recall", encodeSnapshotText(R"({"prompt":"now"})").c_str());
  EXPECT_EQ(engine.settings().promptA, "now");
}

TEST_F(PresetTest, ARecallThatFailsAtTheBarLineIsNotedAndTheBarStillRuns) {
  Engine fragile([this](const std::string& selector, const Atoms& atoms) {
    if (selector == "echo") throw std::runtime_error("interface gone");
    recorder.messages.push_back({selector, atoms});
  });
  fragile.live().playback().start(2, 0);  // a stream plays
  fragile.inlet("recall", Atoms{Atom(encodeSnapshotText(R"({"prompt":"second"})"))});
  EXPECT_EQ(fragile.failures().count, 0u);
  const std::int32_t barBefore = fragile.live().grid().barCounter();
  fragile.inlet("bar", {});
  EXPECT_EQ(fragile.failures().count, 1u);
  EXPECT_STREQ(fragile.failures().selector.data(), "bar");
  EXPECT_STREQ(fragile.failures().reason.data(), "interface gone");
  EXPECT_EQ(fragile.live().grid().barCounter(), barBefore + 1);  // the bar's own steps ran
}

}  // namespace
}  // namespace omber::documents

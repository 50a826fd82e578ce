// Key names, the project key, trigger composition, the metadata suffix and
// the prompt command.
#include "core/documents/prompts.h"

#include <gtest/gtest.h>

#include "documents/documents_fixture.h"

namespace omber::documents {
using namespace omber::engine;
namespace {

using testing::DocumentsTest;

TEST(KeyNames, TheTableRunsFromCMajorToBMinor) {
  EXPECT_EQ(keyNameAt(0), "");
  EXPECT_EQ(keyNameAt(1), "C major");
  EXPECT_EQ(keyNameAt(2), "C minor");
  EXPECT_EQ(keyNameAt(19), "A major");
  EXPECT_EQ(keyNameAt(24), "B minor");
  EXPECT_EQ(keyNameAt(25), "");
  EXPECT_EQ(keyNameAt(-1), "");
}

TEST(ProjectKey, NoteFromTheRootAndTheScaleInLowerCase) {
  EXPECT_EQ(projectKeyText(14.0, "Minor"), "D minor");
  EXPECT_EQ(projectKeyText(11.0, ""), "B");
  EXPECT_EQ(projectKeyText(0.0, "DORIAN"), "C dorian");
  EXPECT_EQ(projectKeyText(-1.0, "major"), "");
  EXPECT_EQ(projectKeyText(std::nullopt, "major"), "");
}

LoraCatalog catalog() {
  return {{"vhs", "VHS", "VHS tape"},
          {"vhs2", "VHS 2", " vhs TAPE "},
          {"lofi", "Lo-Fi", "lofi crunch"},
          {"plain", "Plain", "  "}};
}

LoraSlots slots(const char* first, const char* second) {
  LoraSlots s;
  s[0].id = first;
  s[1].id = second;
  return s;
}

TEST(Triggers, CompositionTable) {
  struct Case {
    const char* text;
    const char* slot1;
    const char* slot2;
    const char* expected;
  };
  const Case cases[] = {
      {"deep house", "vhs", "", "VHS tape, deep house"},
      {"VHS tape, deep house", "vhs", "", "VHS tape, deep house"},
      // A LoRA no longer selected loses its leading trigger; one in the middle stays.
      {"lofi crunch, deep house, VHS tape", "", "", "deep house, VHS tape"},
      {"lofi crunch,VHS TAPE ,  deep house", "lofi", "", "lofi crunch, deep house"},
      // The same trigger in two slots, differing in case, leads once.
      {"dub", "vhs", "vhs2", "VHS tape, dub"},
      {"dub", "vhs2", "lofi", "vhs TAPE, lofi crunch, dub"},
      // Nothing dropped: the text is kept exactly, spaces included.
      {" deep house ", "", "", " deep house "},
      // Everything was a trigger: only the prefix remains.
      {"VHS tape, lofi crunch", "lofi", "", "lofi crunch, "},
      // Empty triggers, ids without a catalog entry and empty slots add nothing.
      {"dub", "plain", "gone", "dub"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(withLoraTriggers(c.text, catalog(), slots(c.slot1, c.slot2)), c.expected) << c.text;
  }
  // Without any catalog trigger a leading part is never taken for one.
  EXPECT_EQ(withLoraTriggers("VHS tape, dub", {{"x", "X", ""}}, slots("x", "")), "VHS tape, dub");
}

TEST(Metadata, OnlyTheSa3BackendHearsTempoAndKey) {
  struct Case {
    const char* backend;
    double sourceTempo;
    double liveTempo;
    const char* keyName;
    const char* projectKey;
    const char* expected;
  };
  const Case cases[] = {
      {"acestep", 120, 124.6, "A minor", "D minor", ""},
      {"sa3", 0, 124.6, "A minor", "D minor", ", 125 bpm, key of A minor"},
      {"sa3", 97.5, 124.6, "", "D minor", ", 98 bpm, key of D minor"},  // the print's tempo first
      {"sa3", 0, 0, "", "", ""},
      {"sa3", 0, 0, "", "E", ", key of E"},
      {"sa3", -5, 127.49, "", "", ", 127 bpm"},
      {"SA3", 0, 120, "C major", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(metadataSuffix({c.backend, c.sourceTempo, c.liveTempo, c.keyName, c.projectKey}), c.expected)
        << c.backend << " " << c.sourceTempo << " " << c.liveTempo;
  }
}

TEST_F(DocumentsTest, ThePerformersExampleComposesExactly) {
  installCatalog();
  send("lora_slot", Atoms{Atom(1.0), Atom(1.0)});
  send("backend", "sa3");
  send("tempo", 124.6);
  send("key", 20);  // A minor
  send("prompt", Atoms{Atom("deep"), Atom("house")});
  EXPECT_EQ(engine.sessionConfig().prompt, "VHS tape, deep house, 125 bpm, key of A minor");
  send("prompt", "VHS tape, deep house");
  EXPECT_EQ(engine.sessionConfig().prompt, "VHS tape, deep house, 125 bpm, key of A minor");
  EXPECT_TRUE(commands().empty());  // not ready: nothing sent, nothing queued

  engine.live().readiness().apply({});
  send("prompt_b", Atoms{Atom("text"), Atom("VHS"), Atom("tape,"), Atom("ambient")});
  ASSERT_EQ(commands().size(), 1u);
  EXPECT_EQ(commands()[0], R"({"type":"prompt","tags":"VHS tape, deep house, 125 bpm, key of A minor",)"
                           R"("tags_b":"VHS tape, ambient"})");
}

TEST_F(DocumentsTest, TheKeyNameOrElseTheProjectKeyReachesTheTags) {
  send("backend", "sa3");
  engine.live().readiness().apply({});
  send("projroot", 14);  // key name empty: the change is sent
  send("projscale", " Minor ");
  send("projscale", "Minor");  // the same project key: nothing sent
  send("key", 3);
  send("projroot", 4);  // a key name is selected: the project key waits
  send("key", 25);      // outside the table: no key name
  send("key", 0);
  send("projroot", -3);
  EXPECT_EQ(commands(), (std::vector<std::string>{
                            R"({"type":"prompt","tags":"instrumental electronic music, key of D"})",
                            R"({"type":"prompt","tags":"instrumental electronic music, key of D minor"})",
                            R"({"type":"prompt","tags":"instrumental electronic music, key of C# major"})",
                            R"({"type":"prompt","tags":"instrumental electronic music, key of E minor"})",
                            R"({"type":"prompt","tags":"instrumental electronic music, key of E minor"})",
                            R"({"type":"prompt","tags":"instrumental electronic music"})",
                        }));
}

TEST_F(DocumentsTest, PromptCommandEscapesAndOmitsAnEmptyB) {
  engine.live().readiness().apply({});
  send("prompt_ab", R"(say "hi"\ | )");
  send("prompt_b", "");
  EXPECT_EQ(commands(), (std::vector<std::string>{R"({"type":"prompt","tags":"say \"hi\"\\"})",
                                                  R"({"type":"prompt","tags":"say \"hi\"\\"})"}));
  EXPECT_FALSE(engine.settings().promptB);
  EXPECT_EQ(promptCommand("a", ""), R"({"type":"prompt","tags":"a"})");
}

}  // namespace
}  // namespace omber::documents

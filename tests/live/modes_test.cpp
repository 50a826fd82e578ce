#include <gtest/gtest.h>

#include "core/live/modes.h"

namespace omber::live {
namespace {

TEST(ModesTest, FeedModeWordsAndAnythingElse) {
  EXPECT_EQ(parseFeedMode("off"), FeedMode::Off);
  EXPECT_EQ(parseFeedMode("stream"), FeedMode::Stream);
  EXPECT_EQ(parseFeedMode("splice"), FeedMode::Splice);
  EXPECT_EQ(parseFeedMode("auto"), FeedMode::Auto);
  EXPECT_EQ(parseFeedMode("fixed"), FeedMode::Fixed);
  // Case matters and nothing is trimmed: these name no mode.
  for (const char* text : {"", "Off", "off ", "streams", "anything"})
    EXPECT_EQ(parseFeedMode(text), FeedMode::Other) << text;
}

TEST(ModesTest, AMixKeepsTheWordItWasGiven) {
  EXPECT_EQ(FeedMix().kind(), FeedMix::Kind::Replace);
  EXPECT_EQ(FeedMix().text(), "replace");
  for (const char* word : {"replace", "add", "mix", "overdub", "sum"}) {
    const FeedMix mix = FeedMix::parse(word);
    EXPECT_NE(mix.kind(), FeedMix::Kind::Other) << word;
    EXPECT_EQ(mix.text(), word);
  }
  EXPECT_EQ(FeedMix::parse("add").kind(), FeedMix::Kind::Add);
  // An unknown word reaches the server unchanged; an empty one sends no "mix".
  EXPECT_EQ(FeedMix::parse("crossfade").kind(), FeedMix::Kind::Other);
  EXPECT_EQ(FeedMix::parse("crossfade").text(), "crossfade");
  EXPECT_EQ(FeedMix::parse("").text(), "");
}

}  // namespace
}  // namespace omber::live

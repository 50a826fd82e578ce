// The live audio path's modes as typed values, parsed once from the text the
// "feed" and "feed_mix" inlets receive. JavaScript thread only; the parsers
// are pure and allocate only to keep an unknown mix text.
#pragma once

#include <string>
#include <string_view>

namespace omber::live {

// Where the feeders' audio goes. Any text that names none of the modes still
// turns capture on (only "off" stops it) but feeds nothing: Other.
enum class FeedMode { Off, Stream, Splice, Auto, Fixed, Other };

FeedMode parseFeedMode(std::string_view text);

// How written audio combines with the source. The server interprets the
// word, so a text the device does not know is passed on unchanged rather
// than refused: it is kept alongside the Other kind.
class FeedMix {
 public:
  enum class Kind { Replace, Add, Mix, Overdub, Sum, Other };

  FeedMix() = default;  // "replace"
  static FeedMix parse(std::string_view text);

  Kind kind() const { return kind_; }
  // The word sent to the server as "mix".
  std::string text() const;

 private:
  Kind kind_ = Kind::Replace;
  std::string other_;  // the text of an Other mix
};

// A print or splice: armed waits for the next bar line, then records.
enum class RecordState { Armed, Recording };

}  // namespace omber::live

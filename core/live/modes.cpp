#include "core/live/modes.h"

#include <array>
#include <utility>

namespace omber::live {
namespace {

constexpr std::array<std::pair<std::string_view, FeedMode>, 5> kFeedModes{{
    {"off", FeedMode::Off},
    {"stream", FeedMode::Stream},
    {"splice", FeedMode::Splice},
    {"auto", FeedMode::Auto},
    {"fixed", FeedMode::Fixed},
}};

constexpr std::array<std::pair<std::string_view, FeedMix::Kind>, 5> kMixes{{
    {"replace", FeedMix::Kind::Replace},
    {"add", FeedMix::Kind::Add},
    {"mix", FeedMix::Kind::Mix},
    {"overdub", FeedMix::Kind::Overdub},
    {"sum", FeedMix::Kind::Sum},
}};

}  // namespace

FeedMode parseFeedMode(std::string_view text) {
  for (const auto& [word, mode] : kFeedModes) {
    if (word == text) return mode;
  }
  return FeedMode::Other;
}

FeedMix FeedMix::parse(std::string_view text) {
  FeedMix mix;
  for (const auto& [word, kind] : kMixes) {
    if (word == text) {
      mix.kind_ = kind;
      return mix;
    }
  }
  mix.kind_ = Kind::Other;
  mix.other_ = std::string(text);
  return mix;
}

std::string FeedMix::text() const {
  for (const auto& [word, kind] : kMixes) {
    if (kind == kind_) return std::string(word);
  }
  return other_;
}

}  // namespace omber::live

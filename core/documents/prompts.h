// Key names and the project key text that prompt composition uses.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace omber {

// Entry of the key table: "C major" for 1 ... "B minor" for 24; empty for 0
// and for every index outside the table.
std::string_view keyNameAt(std::int32_t index);

// "<note> <scale in lower case>", or the note alone for an empty scale;
// empty when the root note is absent or negative.
std::string projectKeyText(std::optional<double> rootNote, std::string_view scale);

}  // namespace omber

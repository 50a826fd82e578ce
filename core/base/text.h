// Text utilities shared by the inlet handlers and the document builders.
// Pure functions; thread-safe; they allocate only their results.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/base/atom.h"

namespace omber::base {

// Fixed notation with exactly one decimal, as printf "%.1f" (120 -> "120.0").
std::string oneDecimal(double value);

// Removes leading and trailing bytes that are a space or 9..13 (tab, line
// feed, vertical tab, form feed, carriage return).
std::string_view trimmed(std::string_view text);

// The stringAt text of every atom from index k to the end; each piece is
// preceded by one space once the text built so far is not empty (so an empty
// first piece adds nothing and a later empty piece still adds its space).
// Not trimmed: this is the inlet table's joined text.
std::string joinedText(const Atoms& atoms, std::size_t k);

// joinedText, then trimmed: the argument text of the documents.
std::string argumentText(const Atoms& atoms, std::size_t k);

// Text from outside (a server, a file) as a status line shows it: at most
// maxCharacters characters (UTF-8 sequences are counted and never split),
// followed by "…" when it was cut.
std::string shownText(std::string_view text, std::size_t maxCharacters = 200);

// "<what> of <size> bytes ignored: over the <cap> MiB limit", the status of
// a text refused for its size before it is parsed.
std::string oversizeStatus(std::string_view what, std::size_t size, std::size_t capBytes);

// True when the text is at least 5 bytes long and begins with "file:".
bool isFileReference(std::string_view text);

}  // namespace omber::base

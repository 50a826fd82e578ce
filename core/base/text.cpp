#include "core/base/text.h"

#include <cstdio>

namespace omber::base {
namespace {

bool isTrimmedByte(char c) { return c == ' ' || (c >= 9 && c <= 13); }

}  // namespace

std::string oneDecimal(double value) {
  // "%.1f" of the largest double is 310 characters; the buffer holds any.
  char buf[400];
  const int n = std::snprintf(buf, sizeof buf, "%.1f", value);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string_view trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isTrimmedByte(text[begin])) ++begin;
  while (end > begin && isTrimmedByte(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string joinedText(const Atoms& atoms, std::size_t k) {
  std::string out;
  for (std::size_t i = k; i < atoms.size(); ++i) {
    if (!out.empty()) out += ' ';
    out += stringAt(atoms, i);
  }
  return out;
}

std::string argumentText(const Atoms& atoms, std::size_t k) { return std::string(trimmed(joinedText(atoms, k))); }

std::string shownText(std::string_view text, std::size_t maxCharacters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A byte that does not continue a UTF-8 sequence starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters == maxCharacters) return std::string(text.substr(0, i)) + "\u2026";
    ++characters;
  }
  return std::string(text);
}

std::string oversizeStatus(std::string_view what, std::size_t size, std::size_t capBytes) {
  return std::string(what) + " of " + std::to_string(size) + " bytes ignored: over the " +
         std::to_string(capBytes >> 20) + " MiB limit";
}

bool isFileReference(std::string_view text) { return text.size() >= 5 && text.substr(0, 5) == "file:"; }

}  // namespace omber::base

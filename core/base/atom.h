// One message argument, the outlet function and the argument accessors.
//
// Every inlet event and every outlet message of the engine is a selector plus
// an ordered sequence of Atoms. Atoms are plain values; whoever builds a
// message owns its atoms. Nothing here is thread-safe beyond that: the engine
// runs on the host's JavaScript thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace omber::base {

struct Atom {
  enum Kind : std::int32_t { Text = 0, Number = 1, Bytes = 2 };

  std::int32_t kind = Text;
  std::string text;                 // value of a text atom
  double number = 0.0;              // value of a number atom
  std::vector<std::uint8_t> bytes;  // value of a bytes atom

  Atom() = default;
  explicit Atom(std::string t) : kind(Text), text(std::move(t)) {}
  explicit Atom(const char* t) : kind(Text), text(t) {}
  explicit Atom(double n) : kind(Number), number(n) {}
  explicit Atom(std::vector<std::uint8_t> b) : kind(Bytes), bytes(std::move(b)) {}

  bool isText() const { return kind == Text; }
  bool isNumber() const { return kind == Number; }
  bool isBytes() const { return kind == Bytes; }
};

using Atoms = std::vector<Atom>;

// Takes a selector and its atoms; returns nothing. The engine and the
// transport emit every outlet message through one of these.
using OutletFn = std::function<void(const std::string& selector, const Atoms& atoms)>;

// Argument accessors. An index past the end is never an error: it reads as a
// neutral value (0.0, 0, empty text, none). None of them throws.
double numberAt(const Atoms& atoms, std::size_t i);
std::int32_t intAt(const Atoms& atoms, std::size_t i);
std::string stringAt(const Atoms& atoms, std::size_t i);
const Atom* bytesAt(const Atoms& atoms, std::size_t i);

// The number of an atom: number atoms give their value, text is read like the
// C library's strtod (leading white space, trailing junk ignored, "inf" and
// "nan" accepted; range errors and non-numbers give 0.0), bytes give 0.0.
double numberOfAtom(const Atom& atom);

}  // namespace omber::base

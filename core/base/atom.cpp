#include "core/base/atom.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/base/number_text.h"

namespace omber::base {

double numberOfAtom(const Atom& atom) {
  switch (atom.kind) {
    case Atom::Number: return atom.number;
    case Atom::Text: return numberFromText(atom.text);
    default: return 0.0;
  }
}

double numberAt(const Atoms& atoms, std::size_t i) { return i < atoms.size() ? numberOfAtom(atoms[i]) : 0.0; }

std::int32_t intAt(const Atoms& atoms, std::size_t i) { return truncateToInt32(numberAt(atoms, i)); }

std::string stringAt(const Atoms& atoms, std::size_t i) {
  if (i >= atoms.size()) return {};
  const Atom& a = atoms[i];
  switch (a.kind) {
    case Atom::Text: return a.text;
    case Atom::Number: return formatNumber(a.number);
    default: return {};
  }
}

const Atom* bytesAt(const Atoms& atoms, std::size_t i) {
  return (i < atoms.size() && atoms[i].kind == Atom::Bytes) ? &atoms[i] : nullptr;
}

}  // namespace omber::base

// An outlet function that records every message, for tests that drive the
// engine or its parts and check what leaves them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/base/atom.h"
#include "core/engine/real_transport.h"
#include "link/frame.h"

namespace omber::testing {
using namespace omber::base;

struct Message {
  std::string selector;
  Atoms atoms;

  std::string text(std::size_t i) const { return stringAt(atoms, i); }
  double number(std::size_t i) const { return numberAt(atoms, i); }
  const std::vector<std::uint8_t>& bytes(std::size_t i) const { return atoms.at(i).bytes; }
  // The bytes of atom i as text (a "ws:send" command).
  std::string bytesText(std::size_t i) const {
    const auto& b = bytes(i);
    return std::string(b.begin(), b.end());
  }
};

class Recorder {
 public:
  OutletFn outlet() {
    return [this](const std::string& selector, const Atoms& atoms) { messages.push_back({selector, atoms}); };
  }

  std::vector<std::string> selectors() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.selector);
    return out;
  }

  // Messages with this selector, in order.
  std::vector<Message> with(const std::string& selector) const {
    std::vector<Message> out;
    for (const auto& m : messages)
      if (m.selector == selector) out.push_back(m);
    return out;
  }

  // A transport whose outlet is this recorder, for parts that send through one.
  engine::RealTransport& transport() {
    if (!transport_) transport_ = std::make_shared<engine::RealTransport>(outlet());
    return *transport_;
  }

  void clear() { messages.clear(); }

  std::vector<Message> messages;

 private:
  std::shared_ptr<engine::RealTransport> transport_;
};

// Type byte of a frame carried by an "ext:write" message.
inline link::FrameType frameType(const Message& m) { return static_cast<link::FrameType>(m.bytes(1).at(4)); }

// Payload of a frame carried by an "ext:write" message.
inline std::vector<std::uint8_t> framePayload(const Message& m) {
  const auto& b = m.bytes(1);
  return std::vector<std::uint8_t>(b.begin() + 5, b.end());
}

// The f32 at a byte offset of a payload (little-endian, as on the wire).
inline float floatAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  float f;
  std::memcpy(&f, bytes.data() + offset, sizeof f);
  return f;
}

}  // namespace omber::testing

// Drives the engine with arbitrary message sequences: any selector of the
// inlet table (or a made-up one) with any atoms, in any session state. The
// engine must neither crash nor let an exception out of its inlet.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/engine/engine.h"

namespace {

// Reads the fuzzer's bytes front to back; past the end everything is 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string text(std::size_t length) {
    length = std::min(length, size_ - std::min(at_, size_));
    std::string out(reinterpret_cast<const char*>(data_ + at_), length);
    at_ += length;
    return out;
  }
  double number() {
    std::uint8_t raw[8] = {};
    for (auto& b : raw) b = byte();
    double v;
    std::memcpy(&v, raw, sizeof v);
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  omber::engine::Engine engine([](const std::string&, const omber::base::Atoms&) {});
  Input in(data, size);
  while (!in.done()) {
    const std::uint8_t head = in.byte();
    // Reach the handlers that act only while the session is ready or playing.
    if (head & 0x40) {
      engine.live().readiness().apply({});
    } else {
      engine.live().readiness().withdraw();
    }
    if (!(head & 0x80)) {
      engine.live().playback().stop();
    } else if (!engine.live().playback().playing()) {
      engine.live().playback().start(2, 0);  // a stream starts on the source the engine holds
    }
    const std::size_t pick = head & 0x3f;
    const std::string selector = pick < omber::engine::Engine::selectorCount()
                                     ? std::string(omber::engine::Engine::selectorAt(pick))
                                     : in.text(in.byte() % 16);
    omber::base::Atoms atoms(in.byte() % 5);
    for (omber::base::Atom& atom : atoms) {
      switch (in.byte() % 4) {
        case 0: atom = omber::base::Atom(in.text(in.byte())); break;
        case 1: atom = omber::base::Atom(in.number()); break;
        case 2: atom = omber::base::Atom(static_cast<double>(static_cast<std::int8_t>(in.byte()))); break;
        default: {
          const std::string b = in.text(in.byte() * 4u);
          atom = omber::base::Atom(std::vector<std::uint8_t>(b.begin(), b.end()));
        }
      }
    }
    engine.inlet(selector, atoms);
  }
  return 0;
}

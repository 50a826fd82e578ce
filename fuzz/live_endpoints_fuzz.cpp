// Drives the bridge endpoints and the bar grid with arbitrary connection
// events: well-formed frames of the three types omber~ sends (with arbitrary
// payloads), raw chunks that cut frames anywhere, closes, bar lines and
// changes of the stream's state. The engine must neither crash nor let an
// exception out of its inlet.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/engine/engine.h"
#include "link/frame.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::vector<std::uint8_t> bytes(std::size_t count) {
    count = std::min(count, size_ - std::min(at_, size_));
    std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + count);
    at_ += count;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

constexpr std::uint8_t kTypes[] = {0x80, 0x81, 0x82, 0x01, 0x00};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  omber::Engine engine([](const std::string&, const omber::Atoms&) {});
  omber::LiveAudioPath& live = engine.live();
  Input in(data, size);
  while (!in.done()) {
    const std::uint8_t op = in.byte();
    const auto id = static_cast<double>(in.byte() % 4);
    switch (op % 6) {
      case 0: {  // one whole frame of a chosen type
        const std::uint8_t type = kTypes[in.byte() % sizeof kTypes];
        const std::vector<std::uint8_t> payload = in.bytes(in.byte());
        engine.inlet("ext:data", omber::Atoms{omber::Atom(id), omber::Atom(omber::link::encodeFrame(
                                                                   type, payload.data(), payload.size()))});
        break;
      }
      case 1:  // a raw chunk, cutting frames anywhere
        engine.inlet("ext:data", omber::Atoms{omber::Atom(id), omber::Atom(in.bytes(in.byte()))});
        break;
      case 2:
        engine.inlet(in.byte() & 1 ? "ext:conn" : "ext:close", omber::Atoms{omber::Atom(id)});
        break;
      case 3:
        engine.inlet("bar", {});
        break;
      case 4: {  // the stream's state, as the server link and a print would leave it
        const std::uint8_t flags = in.byte();
        live.ready = flags & 1;
        live.playing = flags & 2;
        live.hasBuffer = flags & 4;
        live.gridTempoKnown = flags & 8;
        live.gridTempo = flags & 8 ? 60.0 + in.byte() : 0.0;
        live.resume.valid = flags & 16;
        live.backendName = flags & 32 ? "sa3" : "acestep";
        live.sourceDuration = in.byte() / 4.0;
        live.swapCount = in.byte() % 3;
        break;
      }
      default:
        engine.inlet(in.byte() & 1 ? "section" : "loop_len",
                     omber::Atoms{omber::Atom(static_cast<double>(static_cast<std::int8_t>(in.byte())))});
    }
  }
  return 0;
}

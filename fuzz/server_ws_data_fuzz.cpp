// Feeds arbitrary WebSocket messages, text and binary, to an engine in each
// session state: idle, handshaking, awaiting the source, streaming, streaming
// with a swap pending, and stopped while streaming. Messages may be wrapped as
// slices (raw, or zstd-compressed by the real library) so the merge is
// reached, and closes, ticks and opens are mixed in. The engine must neither
// crash nor let an exception out, and the playback view must keep matching
// the source buffer.
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/engine/engine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads the fuzzer's bytes front to back; past the end everything is 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  Bytes bytes(std::size_t length) {
    length = std::min(length, size_ - std::min(at_, size_));
    Bytes out(data_ + at_, data_ + at_ + length);
    at_ += length;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void text(omber::engine::Engine& engine, const std::string& json) {
  engine.inlet("ws:data",
               omber::base::Atoms{omber::base::Atom(Bytes(json.begin(), json.end())), omber::base::Atom(0.0)});
}

void binary(omber::engine::Engine& engine, Bytes bytes) {
  engine.inlet("ws:data", omber::base::Atoms{omber::base::Atom(std::move(bytes)), omber::base::Atom(1.0)});
}

// A slice message: kind, start frame, 18 bytes the engine reads past, payload.
Bytes slice(std::uint8_t kind, std::uint32_t startFrame, const Bytes& samples) {
  Bytes out(23, 0);
  out[0] = kind;
  for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<std::uint8_t>(startFrame >> (8 * i));
  if (kind != 1) {
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
  }
  Bytes frame(ZSTD_compressBound(samples.size()));
  frame.resize(ZSTD_compress(frame.data(), frame.size(), samples.data(), samples.size(), 1));
  out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

// The playback view must point at the source buffer and stay inside it.
void checkView(omber::engine::Engine& engine) {
  const omber::live::SourceBuffer& source = engine.source();
  const omber::live::LiveAudioPath& live = engine.live();
  if (source.channels < 1 || static_cast<std::uint64_t>(source.frames) * source.channels > source.samples.size()) {
    __builtin_trap();
  }
  if (live.playback().hasBuffer()) {
    if (live.playback().bufferSamples() != source.samples.data() ||
        live.playback().bufferFrames() != static_cast<std::uint64_t>(source.frames))
      __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  omber::engine::Engine engine([](const std::string&, const omber::base::Atoms&) {});
  Input in(data, size);

  // The state to start from, and the readiness that leads there.
  const std::uint8_t setup = in.byte();
  const int state = setup % 6;
  const int channels = (setup >> 3) & 3;  // 0 reads as 2
  if (state >= 1) engine.inlet("ws:open", {});
  if (state >= 2) {
    text(engine, R"({"type":"ready","duration":4,"bpm":120,"channels":)" + std::to_string(channels) +
                     R"(,"source_epoch":)" + std::to_string(setup >> 5) + "}");
  }
  if (state >= 3) binary(engine, in.bytes(in.byte() * 16u));
  if (state == 4) text(engine, R"({"type":"swap_ready","channels":1})");
  if (state == 5) engine.inlet("stop", {});
  checkView(engine);

  while (!in.done()) {
    const std::uint8_t head = in.byte();
    const std::size_t length = in.byte() | (static_cast<std::size_t>(in.byte() & 0x3f) << 8);
    Bytes payload = in.bytes(length);
    if (head & 2) payload = slice((head & 4) ? 1 : 0, in.byte(), payload);
    if (head & 1) {
      binary(engine, std::move(payload));
    } else {
      engine.inlet("ws:data", omber::base::Atoms{omber::base::Atom(std::move(payload)), omber::base::Atom(0.0)});
    }
    switch ((head >> 5) & 7) {
      case 1: engine.inlet("ws:close", omber::base::Atoms{omber::base::Atom(1006.0)}); break;
      case 2: engine.inlet("tick:param", {}); break;
      case 3: engine.inlet("ws:open", {}); break;
      case 4: engine.inlet("tick:reconnect", {}); break;
      default: break;
    }
    checkView(engine);
  }
  return 0;
}

// Drives the bridge endpoints and the bar grid with arbitrary connection
// events: well-formed frames of the three types omber~ sends (with arbitrary
// payloads), raw chunks that cut frames anywhere, closes, bar lines and
// changes of the stream's state. The engine must neither crash nor let an
// exception out of its inlet.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/engine/engine.h"
#include "fuzz/stream_state.h"
#include "link/frame.h"

namespace {

constexpr std::uint8_t kTypes[] = {0x80, 0x81, 0x82, 0x01, 0x00};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  omber::engine::Engine engine([](const std::string&, const omber::base::Atoms&) {});
  omber::live::LiveAudioPath& live = engine.live();
  FuzzedDataProvider in(data, size);
  auto chunk = [&in] { return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegral<std::uint8_t>()); };
  while (in.remaining_bytes() > 0) {
    const auto op = in.ConsumeIntegralInRange<int>(0, 5);
    const auto id = static_cast<double>(in.ConsumeIntegralInRange<int>(0, 3));
    switch (op) {
      case 0: {  // one whole frame of a chosen type
        const std::uint8_t type = in.PickValueInArray(kTypes);
        const std::vector<std::uint8_t> payload = chunk();
        engine.inlet("ext:data", omber::base::Atoms{omber::base::Atom(id), omber::base::Atom(omber::link::encodeFrame(
                                                                               type, payload.data(), payload.size()))});
        break;
      }
      case 1:  // a raw chunk, cutting frames anywhere
        engine.inlet("ext:data", omber::base::Atoms{omber::base::Atom(id), omber::base::Atom(chunk())});
        break;
      case 2:
        engine.inlet(in.ConsumeBool() ? "ext:conn" : "ext:close", omber::base::Atoms{omber::base::Atom(id)});
        break;
      case 3: engine.inlet("bar", {}); break;
      case 4: {  // the stream's state, as the server link and a print would leave it
        const auto flags = in.ConsumeIntegral<std::uint8_t>();
        omber::fuzzing::setStreamState(live, flags & 1, flags & 2);
        live.grid().setGridTempo(flags & 8 ? in.ConsumeFloatingPointInRange(1.0, 400.0) : 0.0);  // 0: no grid
        // Once valid, the resume point is only ever replaced.
        if (flags & 16) live.grid().resumeAt(live.grid().barCounter(), 0.0);
        engine.inlet("backend", omber::base::Atoms{omber::base::Atom(flags & 32 ? "sa3" : "acestep")});
        live.readiness().setSourceDuration(in.ConsumeFloatingPointInRange(0.0, 120.0));
        // Up to two new generations reach the players.
        for (int swaps = in.ConsumeIntegralInRange<int>(0, 2); swaps > 0; --swaps)
          live.playback().swapGeneration(2, live.playback().generation());
        break;
      }
      default:
        engine.inlet(in.ConsumeBool() ? "section" : "loop_len",
                     omber::base::Atoms{omber::base::Atom(static_cast<double>(in.ConsumeIntegral<std::int8_t>()))});
    }
  }
  return 0;
}

// Drives capture and print through the engine's inlet with arbitrary feed
// modes, arming requests (any number, not-a-number and infinities too), bar
// lines, tempos, back-pressure, exports and CapturePcm frames of any length
// from a feeder, across the stream states a session passes through. The
// engine must neither crash nor let an exception out of its inlet.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "core/engine/engine.h"
#include "fuzz/stream_state.h"
#include "link/frame.h"

namespace {

const char* const kModes[] = {"off", "stream", "splice", "auto", "fixed", "other"};
const char* const kArms[] = {"fixed_arm", "canvas_arm", "splice_arm"};
const double kOddNumbers[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              1e300,
                              -1e300,
                              0.0};

double number(FuzzedDataProvider& in) {
  return in.ConsumeBool() ? in.PickValueInArray(kOddNumbers) : in.ConsumeFloatingPointInRange(-8.0, 64.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using omber::base::Atom;
  using omber::base::Atoms;
  omber::engine::Engine engine([](const std::string&, const Atoms&) {});
  omber::live::LiveAudioPath& live = engine.live();
  // A finished print becomes a new source of the print repeated up to this
  // cap: 1 s instead of a minute, so that building it (23 MB of freshly
  // mapped memory under ASan) does not cost milliseconds per input. Every
  // path of the repetition is still taken, prints longer than the cap included.
  live.feed().setMaxSourceFrames(48'000);
  // The captured audio of one input: 4 s in all. Without a budget the fuzzer
  // grows inputs towards a minute of audio and a dozen finished prints each,
  // and the executions slow down with them; prints longer than this are
  // the unit tests' to cover.
  std::uint32_t framesLeft = 192'000;
  // Each finished print builds a new source of at least 5.5 s for the
  // fixed-render backend, 2 MB of freshly mapped memory: an input ends after
  // its second.
  int printsLeft = 2;
  engine.inlet("ext:data", Atoms{Atom(1.0), Atom(omber::link::encodeHello(omber::link::kRoleFeeder, 48000, 2))});
  engine.inlet("live_path", Atoms{Atom("/set/Set.als")});
  FuzzedDataProvider in(data, size);
  std::vector<float> audio;
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
      case 0: engine.inlet("feed", Atoms{Atom(in.PickValueInArray(kModes))}); break;
      case 1: engine.inlet(in.PickValueInArray(kArms), Atoms{Atom(number(in))}); break;
      case 2: engine.inlet("bar", {}); break;
      case 3: {  // captured audio: up to half a bar at the fastest tempo per frame
        // (longer frames made each input copy megabytes; a finished splice
        // or a print written while playing now takes more frames to reach)
        const auto frames = std::min(in.ConsumeIntegralInRange<std::uint32_t>(0, 6000), framesLeft);
        framesLeft -= frames;
        audio.assign(static_cast<std::size_t>(frames) * 2, in.ConsumeFloatingPointInRange(-1.0f, 1.0f));
        const bool printing = live.feed().print().active;
        engine.inlet("ext:data", Atoms{Atom(1.0), Atom(omber::link::encodeCapturePcm(audio.data(), frames))});
        if (printing && !live.feed().print().active && --printsLeft == 0) return 0;
        break;
      }
      case 4: engine.inlet("tempo", Atoms{Atom(in.ConsumeFloatingPointInRange(20.0, 1000.0))}); break;
      case 5:
        engine.inlet("ws:buffered", Atoms{Atom(static_cast<double>(in.ConsumeIntegralInRange<int>(0, 2'000'000)))});
        break;
      case 6: {  // the session's state, as the server link and earlier prints leave it
        const auto flags = in.ConsumeIntegral<std::uint8_t>();
        omber::fuzzing::setStreamState(live, flags & 1, flags & 2);
        // A finished print's length: at least a bar at the fastest tempo.
        const double period =
            in.ConsumeBool() ? in.PickValueInArray(kOddNumbers) : in.ConsumeFloatingPointInRange(0.2, 64.0);
        live.feed().setPrintPeriod(flags & 8 ? std::optional<double>(period) : std::nullopt);
        engine.inlet("backend", Atoms{Atom(flags & 16 ? "sa3" : "acestep")});
        live.readiness().setSourceDuration(in.ConsumeFloatingPointInRange(0.0, 120.0));
        live.playback().reportPlayHead(number(in), live.playback().swapCount());  // a player's Position
        live.grid().setLoopStart(in.ConsumeIntegralInRange<std::int32_t>(-1, 8));
        break;
      }
      default: engine.inlet("audio_export_req", {});
    }
  }
  return 0;
}

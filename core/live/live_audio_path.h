// The engine's record of the live audio path. It is made of parts, each with
// its own state and operations:
//   readiness()  what the server session said of the source when it became
//                ready (readiness.h)
//   playback()   the players' copy of the source buffer, their play head and
//                Live's transport (playback.h, playback.cpp)
//   grid()       the bar grid kept in step with Live: tempos, loop region,
//                bar counter, resume point, the step at every bar line
//                (bar_grid.h, bar_grid.cpp)
//   feed()       where the feeders' audio goes: capture, prints, splices,
//                stream pieces (feed_capture.h)
// and the sources and LoRAs restated when a stream starts.
//
// Owned by the engine for its whole life; the endpoint table and the server
// session hold references to it. Everything runs on the host's JavaScript
// thread; nothing is realtime-safe.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/base/atom.h"
#include "core/base/transport.h"
#include "core/live/bar_grid.h"
#include "core/live/feed_capture.h"
#include "core/live/modes.h"
#include "core/live/playback.h"
#include "core/live/readiness.h"

namespace omber::live {

using base::Atom;
using base::Atoms;
using base::ITransport;
using base::PatchFrame;
using base::WriteAudioRequest;

// Captured audio, like every buffer exchanged with the players, is stereo at
// 48 kHz: frames per second.
constexpr double kCaptureRate = 48000.0;

// One entry of the session LoRA list, rebuilt from the two LoRA slots.
struct SessionLora {
  std::optional<std::string> id;
  double strength = 1.0;
};

// Audio of a timbre or structure source clip.
struct SourceClip {
  std::string name;
  bool held = false;
  std::vector<float> samples;  // interleaved
  std::int32_t channels = 2;
};

struct LiveAudioPath {
  // ---- wiring ----
  ITransport* transport = nullptr;  // the engine's transport, set once after construction

  // ---- sources and LoRAs restated when a stream starts ----
  std::array<SessionLora, 2> sessionLoras;
  SourceClip timbre;
  SourceClip structure;

  // What the server session said of the pod's source when it became ready.
  Readiness& readiness() { return readiness_; }
  const Readiness& readiness() const { return readiness_; }

  // The players' copy of the source buffer, their play head, Live's transport.
  Playback& playback() { return playback_; }
  const Playback& playback() const { return playback_; }

  // Tempos, the loop region, bar counting and the step at every bar line.
  BarGrid& grid() { return grid_; }
  const BarGrid& grid() const { return grid_; }

  // Capture, prints and splices, stream pieces and the automatic mode.
  FeedCapture& feed() { return feed_; }
  const FeedCapture& feed() const { return feed_; }

 private:
  Readiness readiness_;
  Playback playback_{*this};
  BarGrid grid_{*this};
  FeedCapture feed_{*this};
};

}  // namespace omber::live

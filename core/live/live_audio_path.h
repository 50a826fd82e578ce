// The engine's record of the live audio path: the bar grid kept in step
// with Live, the loop region and the resume point. What the server session
// said when it became ready is its part readiness(), a Readiness
// (readiness.h). The players' copy of the source buffer, their play head and
// Live's transport are its part playback(), a Playback (playback.h,
// playback.cpp); where the feeders' audio goes (capture, prints, splices,
// stream pieces) is its part feed(), a FeedCapture (feed_capture.h).
//
// Owned by the engine for its whole life; the endpoint table and the server
// session hold references to it. Its own operations are defined in
//   bar_grid.cpp  bar length, loop region, snapped and expected positions,
//                 sections and the per-bar step
// Everything runs on the host's JavaScript thread; nothing is realtime-safe.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/base/atom.h"
#include "core/base/transport.h"
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

// A loop region in seconds of the source buffer.
struct LoopRegion {
  double start = 0.0;
  double end = 0.0;
};

// A known pair of (bar counter, play position) from which later positions
// are computed.
struct ResumePoint {
  std::int32_t bar = 0;
  double position = 0.0;  // seconds
  bool valid = false;
};

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

  // ---- bar grid ----
  double liveTempo = 0.0;
  bool liveTempoKnown = false;
  double gridTempo = 0.0;
  bool gridTempoKnown = false;
  std::string backendName = "acestep";
  double renderLength = 0.0;       // seconds; the "sa3" backend's fixed render, 0 when none
  std::int32_t loopStartBar = -1;  // -1 = no loop region
  std::int32_t loopLength = 4;     // bars
  double quantisation = 1.0;       // bars
  std::int32_t barCounter = 0;
  std::int32_t startBar = 0;  // bar counter when the stream started
  ResumePoint resume;
  bool resyncPending = false;
  std::int32_t lastTempoWarningBar = -99;
  bool sectionPending = false;
  std::int32_t pendingSection = 0;
  std::function<void()> deferredAction;  // runs once at the next bar line

  // ---- sources and LoRAs restated when a stream starts ----
  std::array<SessionLora, 2> sessionLoras;
  SourceClip timbre;
  SourceClip structure;

  // ==== bar_grid.cpp ====
  std::int32_t beatsPerBar() const;
  double gridTempoInUse() const;
  double barLength() const;  // seconds
  LoopRegion loopRegion() const;
  double snappedPosition(double seconds) const;
  // Where the players should be at the current bar; absent when unknown.
  std::optional<double> expectedPosition() const;
  // A bar line of Live passed.
  void onBar();
  // Rounds both numbers, applies at once or at the next bar line.
  void setLoopRegion(double startBar, double lengthBars);
  // Makes a loop start bar current and sends its region to the players.
  void applySection(std::int32_t startBar, bool resume);

  // What the server session said of the pod's source when it became ready.
  Readiness& readiness() { return readiness_; }
  const Readiness& readiness() const { return readiness_; }

  // The players' copy of the source buffer, their play head, Live's transport.
  Playback& playback() { return playback_; }
  const Playback& playback() const { return playback_; }

  // Capture, prints and splices, stream pieces and the automatic mode.
  FeedCapture& feed() { return feed_; }
  const FeedCapture& feed() const { return feed_; }

 private:
  Readiness readiness_;
  Playback playback_{*this};
  FeedCapture feed_{*this};
};

}  // namespace omber::live

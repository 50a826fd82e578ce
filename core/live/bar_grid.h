// The bar grid: Live's bars as positions in the source buffer. It holds the
// two tempos (Live's and the session grid's), the backend's render rules,
// the loop region (a section of whole bars), the bar counter with the resume
// point that positions are counted from, and the step at every bar line.
// Part of the live audio path, which owns it; it reads the path's readiness
// and playback state, moves the players through it and steps its feed.
//   bar_grid.cpp  every operation below
// JavaScript thread only; nothing here is realtime-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace omber::live {

struct LiveAudioPath;

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

class BarGrid {
 public:
  explicit BarGrid(LiveAudioPath& live) : live_(live) {}
  BarGrid(const BarGrid&) = delete;
  BarGrid& operator=(const BarGrid&) = delete;

  // ---- tempos and the backend ----
  // The "tempo" inlet: Live's tempo in beats per minute.
  void setLiveTempo(double bpm) { liveTempo_ = bpm; }
  std::optional<double> liveTempo() const { return liveTempo_; }  // absent until Live told it
  // A finished print defines the session grid's tempo, beats per minute.
  void setGridTempo(double bpm) { gridTempo_ = bpm; }
  std::optional<double> gridTempo() const { return gridTempo_; }  // absent until a print defined it
  // The "backend" inlet.
  void setBackend(std::string name) { backendName_ = std::move(name); }
  const std::string& backendName() const { return backendName_; }
  // The backend that renders whole sources of a fixed length ("sa3"): it
  // corrects drift only at loop boundaries and loops its render.
  bool fixedRender() const { return backendName_ == "sa3"; }
  // The fixed render's length in seconds as the session configuration asks
  // for it; 0 when none.
  void setRenderLength(double seconds) { renderLength_ = seconds; }
  double renderLength() const { return renderLength_; }

  // ---- the loop ----
  // The loop length in bars ("bars" inlet, a print's bars). Like
  // setLoopStart, it reaches the players with the next applied section.
  void setLoopLength(std::int32_t bars) { loopLength_ = bars; }
  std::int32_t loopLength() const { return loopLength_; }
  // A loop start bar kept for the next section applied; negative: none.
  void setLoopStart(std::int32_t bar) { loopStartBar_ = bar < 0 ? -1 : bar; }
  std::int32_t loopStartBar() const { return loopStartBar_; }  // -1 = no loop region
  // The "quant" inlet: above 0, loop changes made while playing wait for
  // the next bar line.
  void setQuantisation(double bars) { quantisation_ = bars; }
  double quantisation() const { return quantisation_; }
  // Rounds both numbers, applies at once or at the next bar line.
  void setLoopRegion(double startBar, double lengthBars);
  // Makes a loop start bar current and sends its region to the players;
  // while playing, moves them to its start and counts bars from here.
  void applySection(std::int32_t startBar);
  // Sends the current region again without moving anybody's play head (a
  // new generation, a player joining late).
  void restateSection();
  // The start bar of a section change waiting for the next bar line.
  std::optional<std::int32_t> pendingSection() const { return pendingSection_; }

  // ---- bars ----
  // A bar line of Live passed.
  void onBar();
  std::int32_t barCounter() const { return barCounter_; }
  // A stream started at the current bar: a waiting section change is
  // dropped and the first bar line that can places the players on the grid.
  void streamStarted();
  std::int32_t streamStartBar() const { return streamStartBar_; }
  // Positions are counted from here: the players were at `seconds` at `bar`.
  void resumeAt(std::int32_t bar, double seconds) { resume_ = ResumePoint{bar, seconds, true}; }
  const ResumePoint& resume() const { return resume_; }
  // The next bar line that can places the players on the grid.
  void requestResync() { resyncPending_ = true; }
  bool resyncPending() const { return resyncPending_; }
  std::int32_t lastTempoWarningBar() const { return lastTempoWarningBar_; }
  // Work for the next bar line (a preset or snapshot recall); replaces any
  // waiting. It runs once, before the bar's own steps.
  void deferToNextBar(std::function<void()> action) { deferredAction_ = std::move(action); }
  bool hasDeferredAction() const { return static_cast<bool>(deferredAction_); }

  // ---- derived from the above at the moment of use ----
  std::int32_t beatsPerBar() const;
  double gridTempoInUse() const;  // beats per minute
  double barLength() const;       // seconds
  LoopRegion loopRegion() const;
  // A play position put on the nearest bar line inside the buffer (seconds).
  double snappedPosition(double seconds) const;
  // Where the players should be at the current bar; absent when unknown.
  std::optional<double> expectedPosition() const;

 private:
  // The grid tempo, 0 while no print defined it.
  double gridBpm() const { return gridTempo_.value_or(0.0); }
  bool gridKnown() const { return gridTempo_ && *gridTempo_ != 0; }
  // The bar line's steps, in the order onBar takes them.
  void runDeferredAction();
  void warnOfTempoMismatch();
  void resyncToGrid();
  void correctPhase();
  // Sends the loop region to the server and the players; returns it.
  LoopRegion sendRegion();

  LiveAudioPath& live_;
  std::optional<double> liveTempo_;  // beats per minute
  std::optional<double> gridTempo_;  // beats per minute
  std::string backendName_ = "acestep";
  double renderLength_ = 0.0;       // seconds
  std::int32_t loopStartBar_ = -1;  // -1 = no loop region
  std::int32_t loopLength_ = 4;     // bars
  double quantisation_ = 1.0;       // bars
  std::int32_t barCounter_ = 0;
  std::int32_t streamStartBar_ = 0;  // bar counter when the stream started
  ResumePoint resume_;
  bool resyncPending_ = false;
  std::int32_t lastTempoWarningBar_ = -99;
  std::optional<std::int32_t> pendingSection_;
  std::function<void()> deferredAction_;  // runs once at the next bar line
};

}  // namespace omber::live

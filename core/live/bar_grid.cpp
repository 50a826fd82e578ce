// The bar grid: Live's bars as positions in the source buffer, the loop
// region (a section of whole bars) and the step at every bar line.
#include "core/live/bar_grid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string_view>

#include "core/base/number_text.h"
#include "core/live/live_audio_path.h"

namespace omber::live {
using namespace omber::base;
namespace {

// ((x mod m) + m) mod m: x wrapped into [0, m).
double wrap(double x, double m) { return std::fmod(std::fmod(x, m) + m, m); }

// Bars between two warnings while the tempo mismatch lasts.
constexpr std::int64_t kTempoWarningBars = 8;
// Tempos this close (beats per minute) count as equal.
constexpr double kTempoTolerance = 0.5;
// Drift up to this many seconds is only reported, not corrected.
constexpr double kDriftTolerance = 0.04;
// The fixed-render backend considers a correction only at loop boundaries
// and only beyond this error (the drift tolerance applies as well).
constexpr double kLoopBoundaryTolerance = 0.006;

// A print takes the players' position as its start: nobody moves them meanwhile.
bool printInProgress(const LiveAudioPath& live) { return live.feed().printing(); }

}  // namespace

// Work queued for the bar line (a preset or snapshot recall) runs once. It is
// taken out first, so it may queue the next one. A recall fails by running
// out of memory or a container limit while it copies the document (the
// outlet itself clears what a callback throws): that abandons the recall
// only, and the bar's own steps still run, since skipping them would leave
// the players off the grid and armed prints unstarted. Anything that is not
// a standard exception is no recall failure and goes on to the engine's inlet.
void BarGrid::runDeferredAction() {
  if (!deferredAction_) return;
  std::function<void()> action = std::move(deferredAction_);
  deferredAction_ = nullptr;
  try {
    action();
  } catch (const std::exception&) {
    // The recall is abandoned; see above.
  }
}

// "TEMPO MISMATCH" at once, then at most every 8 bars while it lasts.
void BarGrid::warnOfTempoMismatch() {
  if (!live_.playback().playing() || !gridKnown() || !liveTempo_ || !(*liveTempo_ > 0)) return;
  const double grid = *gridTempo_;
  const double liveBpm = *liveTempo_;
  if (!(std::fabs(grid - liveBpm) > kTempoTolerance)) {
    lastTempoWarningBar_ = -99;
    return;
  }
  if (std::int64_t{barCounter_} - lastTempoWarningBar_ < kTempoWarningBars) return;
  lastTempoWarningBar_ = barCounter_;
  char text[160];
  std::snprintf(text, sizeof text,
                "TEMPO MISMATCH: session grid %.1f vs Live %.1f - disconnect and reconnect to re-sync", grid, liveBpm);
  live_.transport->emitStatus(text);
}

// Places the players on the grid once after a stream started.
void BarGrid::resyncToGrid() {
  if (!resyncPending_ || !live_.playback().playing() || !gridKnown() || !resume_.valid || printInProgress(live_))
    return;
  resyncPending_ = false;
  if (const auto expected = expectedPosition()) live_.playback().moveTo(*expected);
}

// Reports how far the players are from the grid and pulls them back, at the
// bar line only, when they drifted beyond the tolerance.
void BarGrid::correctPhase() {
  if (!live_.playback().playing() || !live_.readiness().ready() || !gridKnown() || !resume_.valid ||
      printInProgress(live_))
    return;
  const std::optional<double> expected = expectedPosition();
  if (!expected) return;
  const LoopRegion r = loopRegion();
  const double len = r.end - r.start;
  const double half = len / 2;
  const double err = wrap(live_.playback().reportedPlayHead() - *expected + half, len) - half;
  live_.transport->emitPhase(err * 1000);
  if (fixedRender()) {
    const std::int64_t loopBars = std::max(loopLength_, 1);
    const std::int64_t sinceResume = std::int64_t{barCounter_} - resume_.bar + loopBars;
    if (sinceResume % loopBars != 0 || !(std::fabs(err) > kLoopBoundaryTolerance)) return;
  }
  if (live_.feed().mode() == FeedMode::Fixed) return;
  if (!(std::fabs(err) > kDriftTolerance)) return;
  live_.playback().moveTo(*expected);
}

std::int32_t BarGrid::beatsPerBar() const {
  const std::string_view text(live_.readiness().timeSignature());
  const std::string_view beats = text.substr(0, text.find('/'));
  std::int32_t value = 0;
  const auto result = std::from_chars(beats.data(), beats.data() + beats.size(), value);
  if (result.ec != std::errc() || value < 1) return 4;
  return value;
}

double BarGrid::gridTempoInUse() const {
  if (gridBpm() > 0) return gridBpm();
  if (liveTempo_.value_or(0.0) > 0) return *liveTempo_;
  return 120.0;
}

double BarGrid::barLength() const { return beatsPerBar() * 60.0 / gridTempoInUse(); }

LoopRegion BarGrid::loopRegion() const {
  const double dur = live_.readiness().ready() ? live_.readiness().sourceDuration() : 0.0;
  const double margin = gridBpm() > 0 ? 0.0 : std::min(dur * 0.05, 0.4);
  const double bar = barLength();
  LoopRegion r;
  if (loopStartBar_ >= 0) {
    // A loop start too far into the buffer is pulled back to the last whole bar but one.
    const double whole = std::floor(dur / bar - 0.000001);
    const double firstBar = std::min(std::max(whole - 1.0, 0.0), static_cast<double>(loopStartBar_));
    r.start = std::max(margin, firstBar * bar);
    r.end = std::min(dur, (loopLength_ + firstBar) * bar);
    if (r.end > dur - margin) r.end = std::max(dur - margin, r.start + 0.1);
  } else {
    r.start = margin;
    r.end = std::max(dur - margin, margin + 0.1);
  }
  if (fixedRender() && renderLength_ > 0 && std::min(dur, renderLength_) > r.start + 0.001) {
    r.end = std::min({r.end, dur, renderLength_});
  }
  return r;
}

double BarGrid::snappedPosition(double seconds) const {
  const double bar = barLength();
  const double x = std::round(seconds / bar) * bar;
  const double dur = live_.readiness().ready() ? live_.readiness().sourceDuration() : 0.0;
  if (dur <= 0) return std::max(x, 0.0);
  double v;
  if (std::fabs(dur / bar - std::round(dur / bar)) < 0.000001) {
    v = wrap(x, dur);
    if (gridBpm() > 0 && loopStartBar_ >= 0) {
      const LoopRegion r = loopRegion();
      const double len = r.end - r.start;
      if (len > 0 && (v < r.start - 0.000001 || v >= r.end - 0.000001)) v = wrap(v - r.start, len) + r.start;
    }
  } else {
    v = x >= dur ? std::max(dur - bar, 0.0) : x;
  }
  return std::max(v, 0.0);
}

std::optional<double> BarGrid::expectedPosition() const {
  if (!(gridBpm() > 0) || !resume_.valid) return std::nullopt;
  const LoopRegion r = loopRegion();
  const double len = r.end - r.start;
  if (!(len > 0)) return std::nullopt;
  const double elapsed = static_cast<double>(barCounter_ - resume_.bar) * barLength();
  return wrap(elapsed + resume_.position - r.start, len) + r.start;
}

void BarGrid::onBar() {
  barCounter_ += 1;
  runDeferredAction();
  if (const std::optional<std::int32_t> section = pendingSection_) {
    pendingSection_.reset();
    applySection(*section);
  }
  live_.feed().barLinePrintStep();
  warnOfTempoMismatch();
  resyncToGrid();
  correctPhase();
  live_.feed().barLineAutoStep();
}

void BarGrid::streamStarted() {
  pendingSection_.reset();
  resyncPending_ = true;
  streamStartBar_ = barCounter_;
}

void BarGrid::setLoopRegion(double startBar, double lengthBars) {
  if (std::isfinite(lengthBars) && lengthBars >= 1) loopLength_ = truncateToInt32(std::floor(lengthBars + 0.5));
  std::int32_t start = truncateToInt32(std::floor(startBar + 0.5));
  if (start < 0) start = -1;
  if (live_.playback().playing() && quantisation_ > 0) {
    pendingSection_ = start;
    live_.transport->emitSectionPending(start);
    return;
  }
  applySection(start);
}

void BarGrid::applySection(std::int32_t startBar) {
  loopStartBar_ = startBar;
  if (!live_.readiness().ready() || !live_.playback().hasBuffer()) return;
  const LoopRegion r = sendRegion();
  if (live_.playback().playing()) {
    live_.feed().dropCollected();
    live_.playback().moveTo(r.start);
    resume_ = ResumePoint{barCounter_, r.start, true};
    resyncPending_ = false;
  }
  live_.transport->emitSection(startBar, r.start, r.end);
}

void BarGrid::restateSection() {
  if (!live_.readiness().ready() || !live_.playback().hasBuffer()) return;
  sendRegion();
}

// The server hears of the region unless its readiness declared the loop band
// unsupported; the players always do.
LoopRegion BarGrid::sendRegion() {
  const LoopRegion r = loopRegion();
  if (live_.readiness().loopBandCapability().value_or(true)) live_.transport->sendLoopBand(r.start, r.end);
  live_.playback().band(r.start, r.end);
  return r;
}

}  // namespace omber::live

// The bar grid: Live's bars as positions in the source buffer, the loop
// region (a section of whole bars) and the step at every bar line.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>

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

bool gridKnown(const LiveAudioPath& live) { return live.gridTempoKnown && live.gridTempo != 0; }

// A print takes the players' position as its start: nobody moves them meanwhile.
bool printInProgress(const LiveAudioPath& live) { return live.feed().printing(); }

// Work queued for the bar line (a preset or snapshot recall) runs once. It is
// taken out first, so it may queue the next one. A recall fails by running
// out of memory or a container limit while it copies the document (the
// outlet itself clears what a callback throws): that abandons the recall
// only, and the bar's own steps still run, since skipping them would leave
// the players off the grid and armed prints unstarted. Anything that is not
// a standard exception is no recall failure and goes on to the engine's inlet.
void runDeferredAction(LiveAudioPath& live) {
  if (!live.deferredAction) return;
  std::function<void()> action = std::move(live.deferredAction);
  live.deferredAction = nullptr;
  try {
    action();
  } catch (const std::exception&) {
    // The recall is abandoned; see above.
  }
}

// "TEMPO MISMATCH" at once, then at most every 8 bars while it lasts.
void warnOfTempoMismatch(LiveAudioPath& live) {
  if (!live.playback().playing() || !gridKnown(live) || !live.liveTempoKnown || !(live.liveTempo > 0)) return;
  if (!(std::fabs(live.gridTempo - live.liveTempo) > kTempoTolerance)) {
    live.lastTempoWarningBar = -99;
    return;
  }
  if (std::int64_t{live.barCounter} - live.lastTempoWarningBar < kTempoWarningBars) return;
  live.lastTempoWarningBar = live.barCounter;
  char text[160];
  std::snprintf(text, sizeof text,
                "TEMPO MISMATCH: session grid %.1f vs Live %.1f - disconnect and reconnect to re-sync", live.gridTempo,
                live.liveTempo);
  live.transport->emitStatus(text);
}

// Places the players on the grid once after a stream started.
void resyncToGrid(LiveAudioPath& live) {
  if (!live.resyncPending || !live.playback().playing() || !gridKnown(live) || !live.resume.valid ||
      printInProgress(live))
    return;
  live.resyncPending = false;
  if (const auto expected = live.expectedPosition()) live.playback().moveTo(*expected);
}

// Reports how far the players are from the grid and pulls them back, at the
// bar line only, when they drifted beyond the tolerance.
void correctPhase(LiveAudioPath& live) {
  if (!live.playback().playing() || !live.readiness().ready() || !gridKnown(live) || !live.resume.valid ||
      printInProgress(live))
    return;
  const std::optional<double> expected = live.expectedPosition();
  if (!expected) return;
  const LoopRegion r = live.loopRegion();
  const double len = r.end - r.start;
  const double half = len / 2;
  const double err = wrap(live.playback().reportedPlayHead() - *expected + half, len) - half;
  live.transport->emitPhase(err * 1000);
  if (live.backendName == "sa3") {
    const std::int64_t loopBars = std::max(live.loopLength, 1);
    const std::int64_t sinceResume = std::int64_t{live.barCounter} - live.resume.bar + loopBars;
    if (sinceResume % loopBars != 0 || !(std::fabs(err) > kLoopBoundaryTolerance)) return;
  }
  if (live.feed().mode() == FeedMode::Fixed) return;
  if (!(std::fabs(err) > kDriftTolerance)) return;
  live.playback().moveTo(*expected);
}

}  // namespace

std::int32_t LiveAudioPath::beatsPerBar() const {
  const std::string_view text(readiness_.timeSignature());
  const std::string_view beats = text.substr(0, text.find('/'));
  std::int32_t value = 0;
  const auto result = std::from_chars(beats.data(), beats.data() + beats.size(), value);
  if (result.ec != std::errc() || value < 1) return 4;
  return value;
}

double LiveAudioPath::gridTempoInUse() const {
  if (gridTempo > 0) return gridTempo;
  if (liveTempo > 0) return liveTempo;
  return 120.0;
}

double LiveAudioPath::barLength() const { return beatsPerBar() * 60.0 / gridTempoInUse(); }

LoopRegion LiveAudioPath::loopRegion() const {
  const double dur = readiness_.ready() ? readiness_.sourceDuration() : 0.0;
  const double margin = gridTempo > 0 ? 0.0 : std::min(dur * 0.05, 0.4);
  const double bar = barLength();
  LoopRegion r;
  if (loopStartBar >= 0) {
    // A loop start too far into the buffer is pulled back to the last whole bar but one.
    const double whole = std::floor(dur / bar - 0.000001);
    const double firstBar = std::min(std::max(whole - 1.0, 0.0), static_cast<double>(loopStartBar));
    r.start = std::max(margin, firstBar * bar);
    r.end = std::min(dur, (loopLength + firstBar) * bar);
    if (r.end > dur - margin) r.end = std::max(dur - margin, r.start + 0.1);
  } else {
    r.start = margin;
    r.end = std::max(dur - margin, margin + 0.1);
  }
  if (backendName == "sa3" && renderLength > 0 && std::min(dur, renderLength) > r.start + 0.001) {
    r.end = std::min({r.end, dur, renderLength});
  }
  return r;
}

double LiveAudioPath::snappedPosition(double seconds) const {
  const double bar = barLength();
  const double x = std::round(seconds / bar) * bar;
  const double dur = readiness_.ready() ? readiness_.sourceDuration() : 0.0;
  if (dur <= 0) return std::max(x, 0.0);
  double v;
  if (std::fabs(dur / bar - std::round(dur / bar)) < 0.000001) {
    v = wrap(x, dur);
    if (gridTempo > 0 && loopStartBar >= 0) {
      const LoopRegion r = loopRegion();
      const double len = r.end - r.start;
      if (len > 0 && (v < r.start - 0.000001 || v >= r.end - 0.000001)) v = wrap(v - r.start, len) + r.start;
    }
  } else {
    v = x >= dur ? std::max(dur - bar, 0.0) : x;
  }
  return std::max(v, 0.0);
}

std::optional<double> LiveAudioPath::expectedPosition() const {
  if (!(gridTempo > 0) || !resume.valid) return std::nullopt;
  const LoopRegion r = loopRegion();
  const double len = r.end - r.start;
  if (!(len > 0)) return std::nullopt;
  const double elapsed = static_cast<double>(barCounter - resume.bar) * barLength();
  return wrap(elapsed + resume.position - r.start, len) + r.start;
}

void LiveAudioPath::onBar() {
  barCounter += 1;
  runDeferredAction(*this);
  if (sectionPending) {
    sectionPending = false;
    applySection(pendingSection, false);
  }
  feed_.barLinePrintStep();
  warnOfTempoMismatch(*this);
  resyncToGrid(*this);
  correctPhase(*this);
  feed_.barLineAutoStep();
}

void LiveAudioPath::setLoopRegion(double startBar, double lengthBars) {
  if (std::isfinite(lengthBars) && lengthBars >= 1) loopLength = truncateToInt32(std::floor(lengthBars + 0.5));
  std::int32_t start = truncateToInt32(std::floor(startBar + 0.5));
  if (start < 0) start = -1;
  if (playback_.playing() && quantisation > 0) {
    sectionPending = true;
    pendingSection = start;
    transport->emitSectionPending(start);
    return;
  }
  applySection(start, false);
}

void LiveAudioPath::applySection(std::int32_t startBarIndex, bool resumeOn) {
  loopStartBar = startBarIndex;
  if (!readiness_.ready() || !playback_.hasBuffer()) return;
  const LoopRegion r = loopRegion();
  if (readiness_.loopBandCapability().value_or(true)) transport->sendLoopBand(r.start, r.end);
  playback_.band(r.start, r.end);
  if (resumeOn) return;
  if (playback_.playing()) {
    feed_.dropCollected();
    playback_.moveTo(r.start);
    resume = ResumePoint{barCounter, r.start, true};
    resyncPending = false;
  }
  transport->emitSection(startBarIndex, r.start, r.end);
}

}  // namespace omber::live

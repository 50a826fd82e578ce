// The bar grid: Live's bars as positions in the source buffer, the loop
// region (a section of whole bars) and the step at every bar line.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/host/number_text.h"
#include "core/live/live_audio_path.h"

namespace omber {
namespace {

// ((x mod m) + m) mod m: x wrapped into [0, m).
double wrap(double x, double m) { return std::fmod(std::fmod(x, m) + m, m); }

}  // namespace

std::int32_t LiveAudioPath::beatsPerBar() const {
  const std::string_view text(timeSignature);
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
  const double dur = ready ? sourceDuration : 0.0;
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
  const double dur = ready ? sourceDuration : 0.0;
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
  if (deferredAction) {
    // Taken out first: the action may defer another one.
    std::function<void()> action = std::move(deferredAction);
    deferredAction = nullptr;
    action();
  }
  if (sectionPending) {
    sectionPending = false;
    applySection(pendingSection, false);
  }
  // Still to come at this point of the bar: the splice and print steps, the
  // tempo warning, the resync, phase and drift, and automatic printing.
}

void LiveAudioPath::setLoopRegion(double startBar, double lengthBars) {
  if (std::isfinite(lengthBars) && lengthBars >= 1) loopLength = truncateToInt32(std::floor(lengthBars + 0.5));
  std::int32_t start = truncateToInt32(std::floor(startBar + 0.5));
  if (start < 0) start = -1;
  if (playing && quantisation > 0) {
    sectionPending = true;
    pendingSection = start;
    transport->emitSectionPending(start);
    return;
  }
  applySection(start, false);
}

void LiveAudioPath::applySection(std::int32_t startBarIndex, bool resumeOn) {
  loopStartBar = startBarIndex;
  if (!ready || !hasBuffer) return;
  const LoopRegion r = loopRegion();
  if (loopBandCapability.value_or(true)) transport->sendLoopBand(r.start, r.end);
  band(r.start, r.end);
  if (resumeOn) return;
  if (playing) {
    clearAutoBookkeeping();
    clearCaptureBuffer();
    seek(r.start);
    reportedPlayHead = r.start;
    resume = ResumePoint{barCounter, r.start, true};
    resyncPending = false;
  }
  transport->emitSection(startBarIndex, r.start, r.end);
}

}  // namespace omber

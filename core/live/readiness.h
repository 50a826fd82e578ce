// What the server session knows of the pod's source once it is ready: the
// source's duration and tempo, its time signature, and whether the pod
// takes a loop band. Part of the live audio path, reached as readiness();
// written only by the server session.
// JavaScript thread only; nothing here is realtime-safe.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace omber::live {

// The readiness information of one "ready" message, read at the edge.
struct ReadinessInfo {
  std::optional<double> duration;            // seconds, finite; absent keeps the one known
  double tempo = 0.0;                        // "bpm", 0 when absent
  std::optional<std::string> timeSignature;  // absent keeps the one known
  std::optional<bool> loopBand;              // absent counts as supported
};

class Readiness {
 public:
  // The session became ready with this information.
  void apply(ReadinessInfo info) {
    if (info.duration) sourceDuration_ = *info.duration;
    serverTempo_ = info.tempo;
    if (info.timeSignature) timeSignature_ = std::move(*info.timeSignature);
    loopBand_ = info.loopBand;
    ready_ = true;
  }
  // The session gives way to a source upload: not ready until the next
  // readiness; what it said stays known.
  void withdraw() { ready_ = false; }
  // The source that arrived, or a swap's announcement, tells the duration
  // better than the readiness did.
  void setSourceDuration(double seconds) { sourceDuration_ = seconds; }

  bool ready() const { return ready_; }
  double sourceDuration() const { return sourceDuration_; }  // seconds; counts only when ready
  double serverTempo() const { return serverTempo_; }
  const std::string& timeSignature() const { return timeSignature_; }
  std::optional<bool> loopBandCapability() const { return loopBand_; }  // absent counts as supported

 private:
  bool ready_ = false;
  double sourceDuration_ = 0.0;  // seconds
  double serverTempo_ = 0.0;     // beats per minute, 0 when unknown
  std::string timeSignature_ = "4/4";
  std::optional<bool> loopBand_;  // absent counts as supported
};

}  // namespace omber::live

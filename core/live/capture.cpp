// Capture and print: when the feeders capture, and what becomes of the audio
// they send.
#include "core/live/live_audio_path.h"

namespace omber {

void LiveAudioPath::setFeedMode(const std::string& mode) {
  feedMode = mode;
  if (mode != "splice") splice = SpliceJob{};
  if (mode != "stream") {
    streamedFrames = 0;
    streamPositionValid = false;
  }
  if (mode != "fixed" && print.active && print.fixed) {
    print.active = false;
    printBuffer.clear();
  }
  clearAutoBookkeeping();
  clearCaptureBuffer();
  capture(mode != "off");
}

// Arming a print arrives with capture and print.
void LiveAudioPath::armPrint(double, bool, bool) {}

// Arming a splice arrives with capture and print.
void LiveAudioPath::armSplice(double) {}

// Collecting captured audio arrives with capture and print.
void LiveAudioPath::captureIntake(std::uint64_t, const float*) {}

// Starting armed splices and prints at the bar line arrives with capture and print.
void LiveAudioPath::barLinePrintStep() {}

// Automatic printing at the bar line arrives with capture and print.
void LiveAudioPath::barLineAutoStep() {}

void LiveAudioPath::clearAutoBookkeeping() {
  autoCollecting = false;
  autoFrames = 0;
  barPositions.clear();
}

void LiveAudioPath::clearCaptureBuffer() {
  captureBuffer.clear();
  captureReadIndex = 0;
}

}  // namespace omber

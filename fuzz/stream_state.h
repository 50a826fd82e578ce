// The session's state as the server link leaves it, for the fuzz targets
// that drive the live audio path: ready or not, and a stream started on the
// source the engine holds, or stopped. Reads no input bytes itself.
#pragma once

#include "core/live/live_audio_path.h"

namespace omber::fuzzing {

inline void setStreamState(live::LiveAudioPath& live, bool ready, bool playing) {
  if (ready) {
    live.readiness().apply({});
  } else {
    live.readiness().withdraw();
  }
  if (playing) {
    if (!live.playback().playing()) live.playback().start(2, 0);
  } else {
    live.playback().stop();
  }
}

}  // namespace omber::fuzzing

// The periodic "params" message: the performer's knob values and how far
// playback has come, sent to the server on every parameter tick while a
// ready session plays. Pure functions; they allocate only their results.
#pragma once

#include <cstdint>
#include <string>

#include "core/documents/controls.h"

namespace omber::engine {

using documents::KnobTable;

// {"type":"params","raw":<knobs>,"playback_pos":..,"client_time":..,"slice_bytes_rx":..}
std::string paramsMessage(const KnobTable& knobs, double playbackSeconds, double clientSeconds,
                          std::uint64_t sliceBytesReceived);

// The steady clock's tick count in seconds; only differences carry meaning.
double steadyClockSeconds();

}  // namespace omber::engine

// The handshake configuration the server session sends first on every new
// socket. The engine's provider fills it from the current settings each time
// the socket opens; the defaults below stand when there is no provider.
#pragma once

#include <optional>
#include <string>

namespace omber::server {

struct SessionConfig {
  std::string prompt;
  double depth = 4.0;
  double steps = 8.0;
  bool sde = false;
  bool lora = true;
  std::optional<double> bpm;          // tempo of the printed source, when known
  bool fixedDurationBackend = false;  // the "sa3" backend
  std::optional<double> duration;     // seconds; only with the fixed-duration backend
};

}  // namespace omber::server

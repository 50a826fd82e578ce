// Command line of omber-maxhost.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace omber::maxhost {

struct InstanceRequest {
  enum class Role { Player, Feeder } role = Role::Player;
  std::string wavPath;  // player: output file; feeder: input file
  // Player diagnostics (empty: none): its buffer at exit and on SIGUSR1 (u32
  // channels, u32 frames, f32 samples), and one line per applied Patch.
  std::string bufferPath;
  std::string patchLogPath;
};

struct RunnerOptions {
  std::string modulePath;  // empty: omber~.so next to the executable
  std::vector<InstanceRequest> instances;
  int port = 0;       // 0: send no "connect"
  std::string token;  // empty: "connect PORT" without a bridge token
  bool capture = false;
  double sampleRate = 48000.0;
  long vectorSize = 64;
  std::optional<double> durationSeconds;  // empty: until SIGINT or SIGTERM
  bool fast = false;
  int realtimePriority = 0;  // 0: normal scheduling for the audio loop
  // After stallAt seconds of audio the signal chain stops running for
  // stallFor seconds of wall time while the link threads go on, as when the
  // audio of the host application stalls.
  std::optional<double> stallAt;
  double stallFor = 0.0;
  bool quiet = false;
  bool help = false;
  // --describe: create one instance per text (its creation atoms, e.g.
  // "@role 1"), print what it has as one JSON line each, and run nothing.
  std::vector<std::string> describe;
};

// Parses argv; on a usage error returns nothing and sets error.
std::optional<RunnerOptions> parseOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

}  // namespace omber::maxhost

#include "external/runner/options.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "link/frame.h"

namespace omber::maxhost {

const char* const kUsage =
    "usage: omber-maxhost [options] (--player OUT.wav | --feeder IN.wav)...\n"
    "\n"
    "Loads the omber~ module, creates one instance per --player/--feeder, sends\n"
    "each \"connect PORT [TOKEN]\" and runs their DSP, writing every player's two\n"
    "outlets to its WAV file (32-bit float, stereo) and feeding every feeder's\n"
    "two inlets from its WAV file (mono feeds both inlets; silence after the\n"
    "end). Console texts (\"omber~: ...\") go to stdout, progress to stderr.\n"
    "\n"
    "  --player OUT.wav   add a player (omber~ @role 0) recording to OUT.wav\n"
    "  --feeder IN.wav    add a feeder (omber~ @role 1) playing IN.wav into its inlets\n"
    "  --buffer-out FILE  the last --player's buffer goes to FILE at exit and on\n"
    "                     SIGUSR1: u32 channels, u32 frames, f32 samples (LE)\n"
    "  --patch-log FILE   the last --player logs every Patch its audio thread\n"
    "                     applies: \"<steady-clock ns> <start frame> <frames>\"\n"
    "  --port N           send \"connect N\" to every instance (bridge on 127.0.0.1:N);\n"
    "                     an instance reconnects on its own while the bridge is away\n"
    "  --token TEXT       the bridge token (1 to 64 bytes): send \"connect N TEXT\";\n"
    "                     every connection then starts with a Token frame (needs --port)\n"
    "  --capture          create feeders with @capture 1\n"
    "  --rate HZ          sample rate (default 48000)\n"
    "  --vector N         signal vector size in frames (default 64)\n"
    "  --duration S       stop after S seconds of audio (default: run until\n"
    "                     SIGINT or SIGTERM)\n"
    "  --fast             run as fast as possible instead of in real time\n"
    "                     (needs --duration)\n"
    "  --rt-priority N    run the audio loop with realtime (FIFO) priority N,\n"
    "                     1 to 99, as an audio host does (real time only; a\n"
    "                     system that does not permit it gets a warning)\n"
    "  --stall-dsp AT:S   after AT seconds of audio, run no DSP for S seconds of\n"
    "                     wall time (the link threads go on)\n"
    "  --module PATH      the omber~ module (default: omber~.so next to this program)\n"
    "  --quiet            no progress on stderr\n"
    "  --describe ARGS    create omber~ ARGS (e.g. \"@role 1\"), print its inlets,\n"
    "                     outlets, attributes and messages as one JSON line and\n"
    "                     run nothing (may be repeated)\n"
    "  -h, --help         this text\n"
    "\n"
    "Stops after --duration or on SIGINT/SIGTERM: DSP ends, the instances are\n"
    "freed (their link threads joined), the WAV files are closed. Exit status:\n"
    "0 after a normal stop, 1 when the module, an instance or a file fails,\n"
    "2 on a usage error.\n"
    "\n"
    "example: omber-maxhost --port 7400 --player out.wav --duration 10\n";

namespace {

bool number(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

}  // namespace

std::optional<RunnerOptions> parseOptions(const std::vector<std::string>& args, std::string& error) {
  RunnerOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    // The option's value as a number within [min, max] (whole if asked).
    auto numeric = [&](double min, double max, bool whole, const char* what, double& out) {
      std::string text;
      if (!value(text)) return false;
      if (!number(text, out) || out < min || out > max || (whole && out != std::floor(out))) {
        error = arg + " needs " + what;
        return false;
      }
      return true;
    };
    std::string text;
    double n = 0.0;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--player" || arg == "--feeder") {
      if (!value(text)) return std::nullopt;
      InstanceRequest request;
      request.role = arg == "--player" ? InstanceRequest::Role::Player : InstanceRequest::Role::Feeder;
      request.wavPath = text;
      options.instances.push_back(request);
    } else if (arg == "--buffer-out" || arg == "--patch-log") {
      if (!value(text)) return std::nullopt;
      auto player = std::find_if(options.instances.rbegin(), options.instances.rend(),
                                 [](const InstanceRequest& r) { return r.role == InstanceRequest::Role::Player; });
      if (player == options.instances.rend()) {
        error = arg + " follows no --player";
        return std::nullopt;
      }
      (arg == "--buffer-out" ? player->bufferPath : player->patchLogPath) = text;
    } else if (arg == "--port") {
      if (!numeric(1, 65535, true, "a port from 1 to 65535", n)) return std::nullopt;
      options.port = static_cast<int>(n);
    } else if (arg == "--token") {
      if (!value(text)) return std::nullopt;
      if (text.empty() || text.size() > omber::link::kMaxTokenBytes) {
        error = arg + " needs a text of 1 to 64 bytes";
        return std::nullopt;
      }
      options.token = text;
    } else if (arg == "--capture") {
      options.capture = true;
    } else if (arg == "--rate") {
      if (!numeric(1000, 768000, false, "a sample rate from 1000 to 768000", n)) return std::nullopt;
      options.sampleRate = n;
    } else if (arg == "--vector") {
      if (!numeric(1, 16384, true, "a frame count from 1 to 16384", n)) return std::nullopt;
      options.vectorSize = static_cast<long>(n);
    } else if (arg == "--duration") {
      if (!numeric(0, 1e9, false, "seconds (0 or more)", n)) return std::nullopt;
      options.durationSeconds = n;
    } else if (arg == "--rt-priority") {
      if (!numeric(1, 99, true, "a priority from 1 to 99", n)) return std::nullopt;
      options.realtimePriority = static_cast<int>(n);
    } else if (arg == "--stall-dsp") {
      if (!value(text)) return std::nullopt;
      const std::size_t colon = text.find(':');
      double at = 0.0, seconds = 0.0;
      if (colon == std::string::npos || !number(text.substr(0, colon), at) ||
          !number(text.substr(colon + 1), seconds) || at < 0 || seconds < 0 || seconds > 3600) {
        error = arg + " needs AT:SECONDS (seconds of audio, then up to 3600 seconds of stall)";
        return std::nullopt;
      }
      options.stallAt = at;
      options.stallFor = seconds;
    } else if (arg == "--fast") {
      options.fast = true;
    } else if (arg == "--module") {
      if (!value(options.modulePath)) return std::nullopt;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--describe") {
      if (!value(text)) return std::nullopt;
      options.describe.push_back(text);
    } else {
      error = "unknown argument " + arg;
      return std::nullopt;
    }
  }
  if (options.help || !options.describe.empty()) return options;
  if (options.instances.empty()) {
    error = "no instance: give at least one --player or --feeder";
    return std::nullopt;
  }
  if (!options.token.empty() && options.port == 0) {
    error = "--token needs --port";
    return std::nullopt;
  }
  if (options.fast && options.realtimePriority > 0) {
    error = "--rt-priority needs real time (not --fast)";
    return std::nullopt;
  }
  if (options.fast && !options.durationSeconds) {
    error = "--fast needs --duration";
    return std::nullopt;
  }
  return options;
}

}  // namespace omber::maxhost

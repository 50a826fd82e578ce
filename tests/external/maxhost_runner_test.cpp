// omber-maxhost as the demo and the end-to-end tests run it: a separate
// process connecting to a bridge on 127.0.0.1, writing a player's outlets to
// a WAV file, feeding a capturing feeder from one, stopping on a signal.
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "link/frame.h"
#include "loopback_server.h"

extern char** environ;

namespace omber::external {
namespace {

using namespace std::chrono_literals;
using link::FrameType;

pid_t startRunner(const std::vector<std::string>& args) {
  std::vector<std::string> all{OMBER_MAXHOST_PATH, "--quiet"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);  // console texts
  EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int waitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<float> readWav(const std::string& path, SF_INFO& info) {
  info = SF_INFO{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_float(file, samples.data(), info.frames);
  sf_close(file);
  return samples;
}

std::string tempPath(const char* name) { return ::testing::TempDir() + name + std::to_string(getpid()) + ".wav"; }

TEST(MaxhostRunner, PlayerWritesWhatTheBridgeSendsAndStopsOnSigterm) {
  testing::LoopbackServer server;
  const std::string out = tempPath("player");
  const pid_t pid = startRunner({"--port", std::to_string(server.port()), "--player", out, "--rate", "44100"});
  ASSERT_TRUE(server.accept(5000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  const auto hello = server.framesOfType(FrameType::Hello)[0].payload;
  EXPECT_EQ(hello[0], 0);                     // a player
  EXPECT_EQ(link::getI32(&hello[1]), 44100);  // the runner's rate
  const std::vector<float> buffer(2 * 48000, 0.5f);
  server.send(link::encodeBuffer(FrameType::Init, buffer.data(), buffer.size(), 2, 48000));
  // Let the buffer play for 0.2 s of the runner's real time.
  server.pumpUntil(
      [&] {
        const auto positions = server.framesOfType(FrameType::Position);
        return !positions.empty() && link::getF64(positions.back().payload.data()) > 0.2;
      },
      5000ms);
  kill(pid, SIGTERM);
  EXPECT_EQ(waitExit(pid), 0);

  SF_INFO info;
  const auto samples = readWav(out, info);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, 44100);
  ASSERT_FALSE(samples.empty());
  // Silence until the Init arrived, then the buffer (0.5 away from the declicked loop ends).
  EXPECT_EQ(samples.front(), 0.0f);
  EXPECT_GT(std::count(samples.begin(), samples.end(), 0.5f), 2 * 4000);
  EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), 0.5f);
  std::remove(out.c_str());
}

TEST(MaxhostRunner, CapturingFeederUploadsItsWavFileAndDurationEndsTheRun) {
  const std::string in = tempPath("feeder");
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<float> ramp(24000);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 24000.0f;
  sf_writef_float(file, ramp.data(), static_cast<sf_count_t>(ramp.size()));
  sf_close(file);

  testing::LoopbackServer server;
  const pid_t pid =
      startRunner({"--port", std::to_string(server.port()), "--feeder", in, "--capture", "--duration", "0.6"});
  ASSERT_TRUE(server.accept(5000ms));
  std::vector<float> captured;
  server.pumpUntil(
      [&] {
        captured.clear();
        for (const auto& frame : server.framesOfType(FrameType::CapturePcm)) {
          const std::size_t at = captured.size();
          captured.resize(at + link::getU32(frame.payload.data()) * 2);
          std::memcpy(captured.data() + at, frame.payload.data() + 4, (captured.size() - at) * sizeof(float));
        }
        return captured.size() >= 2 * 20000;
      },
      5000ms);
  EXPECT_EQ(waitExit(pid), 0);
  EXPECT_EQ(server.framesOfType(FrameType::Hello).at(0).payload[0], 1);  // a feeder
  ASSERT_GE(captured.size(), 2u * 20000);
  for (std::size_t j = 0; j < 20000; ++j) {  // mono feeds both inlets; the first frame primes
    ASSERT_EQ(captured[j * 2], ramp[j + 1]) << j;
    ASSERT_EQ(captured[j * 2 + 1], ramp[j + 1]) << j;
  }
  std::remove(in.c_str());
}

// The player's diagnostics: its applied patches logged with their time, its
// buffer written on SIGUSR1 and at exit.
TEST(MaxhostRunner, PlayerLogsAppliedPatchesAndWritesItsBuffer) {
  testing::LoopbackServer server;
  const std::string out = tempPath("tapped");
  const std::string buffer = tempPath("buffer");
  const std::string log = tempPath("patches");
  const pid_t pid = startRunner(
      {"--port", std::to_string(server.port()), "--player", out, "--buffer-out", buffer, "--patch-log", log});
  ASSERT_TRUE(server.accept(5000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  const std::vector<float> init(2 * 1000, 0.25f);
  server.send(link::encodeBuffer(FrameType::Init, init.data(), init.size(), 2, 48000));
  const std::vector<float> patch{1, 2, 3, 4};
  server.send(link::encodePatch(500, patch.data(), 2));

  auto readText = [](const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      char chunk[256];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
      std::fclose(f);
    }
    return text;
  };
  ASSERT_TRUE(server.pumpUntil([&] { return readText(log).find(" 500 2\n") != std::string::npos; }, 5000ms))
      << readText(log);
  long long at = 0;
  unsigned start = 0, frames = 0;
  ASSERT_EQ(std::sscanf(readText(log).c_str(), "%lld %u %u", &at, &start, &frames), 3);
  EXPECT_GT(at, 0);

  auto expectBuffer = [&](const std::string& bytes) {
    ASSERT_EQ(bytes.size(), 8u + 2000 * 4);
    std::vector<float> samples(2000);
    std::memcpy(samples.data(), bytes.data() + 8, bytes.size() - 8);
    EXPECT_EQ(link::getU32(reinterpret_cast<const std::uint8_t*>(bytes.data())), 2u);
    EXPECT_EQ(link::getU32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4), 1000u);
    EXPECT_EQ(samples[1000], 1.0f);
    EXPECT_EQ(samples[1003], 4.0f);
    EXPECT_EQ(samples[999], 0.25f);
  };
  kill(pid, SIGUSR1);
  ASSERT_TRUE(server.pumpUntil([&] { return readText(buffer).size() >= 8 + 2000 * 4; }, 5000ms));
  expectBuffer(readText(buffer));
  std::remove(buffer.c_str());
  kill(pid, SIGTERM);
  EXPECT_EQ(waitExit(pid), 0);
  expectBuffer(readText(buffer));
  for (const auto& path : {out, buffer, log}) std::remove(path.c_str());
}

// While the DSP stalls the audio thread drains nothing: 3000 Seek frames
// overfill the player's command queue (2047 slots) and the link thread waits
// for room. A stall shorter than its 5 s patience loses nothing: once the
// audio runs again every command lands, the last Seek included, and the
// player reports its play head from there.
TEST(MaxhostRunner, AStalledDspFillsTheQueueAndLosesNothingWhenItResumes) {
  testing::LoopbackServer server;
  const std::string out = tempPath("stall");
  const pid_t pid = startRunner({"--port", std::to_string(server.port()), "--player", out, "--stall-dsp", "0.05:1.5"});
  ASSERT_TRUE(server.accept(5000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  // Twenty seconds: within the test's time the play head reaches 15 s only
  // through the last Seek.
  const std::vector<float> buffer(2 * 20 * 48000, 0.25f);
  server.send(link::encodeBuffer(FrameType::Init, buffer.data(), buffer.size(), 2, 48000));
  server.pumpUntil([&] { return false; }, 200ms);  // the stall has begun
  for (int k = 0; k < 3000; ++k) server.send(link::encodeSeek(0.001 * (k % 100)));
  server.send(link::encodeSeek(15.0));
  const bool resumed = server.pumpUntil(
      [&] {
        const auto positions = server.framesOfType(FrameType::Position);
        return !positions.empty() && link::getF64(positions.back().payload.data()) >= 15.0;
      },
      10000ms);
  EXPECT_TRUE(resumed) << "no play head at or past the last Seek after the stall";
  kill(pid, SIGTERM);
  EXPECT_EQ(waitExit(pid), 0);
  std::remove(out.c_str());
}

TEST(MaxhostRunner, ATokenIsSentFirstOnEveryConnection) {
  testing::LoopbackServer server;
  const std::string token = "00112233445566778899aabbccddeeff";
  const pid_t pid = startRunner(
      {"--port", std::to_string(server.port()), "--token", token, "--player", tempPath("token"), "--duration", "3"});
  for (int connection = 0; connection < 2; ++connection) {
    ASSERT_TRUE(server.accept(5000ms));
    ASSERT_TRUE(server.pumpUntil([&] { return server.frames().size() >= 2; }, 3000ms));
    EXPECT_EQ(server.frames()[0].type, static_cast<std::uint8_t>(FrameType::Token));
    EXPECT_EQ(std::string(server.frames()[0].payload.begin(), server.frames()[0].payload.end()), token);
    EXPECT_EQ(server.frames()[1].type, static_cast<std::uint8_t>(FrameType::Hello));
    server.closeClient();  // the runner's instance comes back on its own
    server.clear();
  }
  kill(pid, SIGTERM);
  EXPECT_EQ(waitExit(pid), 0);
  std::remove(tempPath("token").c_str());
}

TEST(MaxhostRunner, ExitStatusTellsUsageErrorsFromFailures) {
  EXPECT_EQ(waitExit(startRunner({"--buffer-out", "b.bin", "--player", "x.wav"})), 2);  // follows no player
  EXPECT_EQ(waitExit(startRunner({"--feeder", "x.wav", "--patch-log", "p.txt"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--rt-priority", "0", "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--rt-priority", "5", "--fast", "--duration", "1", "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--stall-dsp", "2", "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--stall-dsp", "2:-1", "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--player"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--fast", "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--port", "70000", "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--token", "abc", "--player", "x.wav"})), 2);  // no --port
  EXPECT_EQ(waitExit(startRunner({"--port", "7400", "--token", std::string(65, 'a'), "--player", "x.wav"})), 2);
  EXPECT_EQ(waitExit(startRunner({"--help"})), 0);
  EXPECT_EQ(waitExit(startRunner({"--module", "/nonexistent/omber~.so", "--player", tempPath("none")})), 1);
}

}  // namespace
}  // namespace omber::external

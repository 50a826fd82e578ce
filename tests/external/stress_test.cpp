// Three threads on two omber~ instances for as long as OMBER_STRESS_SECONDS
// says (2 s by default; the ThreadSanitizer run uses 60): the audio thread
// ticks the signal chain, each instance's link thread talks to a loopback
// bridge that sends every frame type (and now and then a broken frame or a
// closed connection), and the main thread changes attributes and sends
// "connect", "disconnect" and "capture".
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "external/maxhost/host.h"
#include "external/maxhost/signal_chain.h"
#include "link/frame.h"
#include "loopback_server.h"

namespace omber::maxhost {
namespace {

using namespace std::chrono_literals;
using link::FrameType;

double stressSeconds() {
  const char* text = std::getenv("OMBER_STRESS_SECONDS");
  const double seconds = text ? std::atof(text) : 2.0;
  return seconds > 0 ? seconds : 2.0;
}

struct BridgeCounts {
  std::atomic<long> hellos{0}, positions{0}, capturePcm{0}, sent{0}, connections{0};
};

// One bridge for one instance, on its own thread.
void runBridge(external::testing::LoopbackServer& server, BridgeCounts& counts, std::atomic<bool>& stop,
               unsigned seed) {
  std::mt19937 random(seed);
  auto chance = [&](int oneIn) { return std::uniform_int_distribution<int>(0, oneIn - 1)(random) == 0; };
  auto seconds = [&] { return std::uniform_real_distribution<double>(-0.2, 1.2)(random); };
  std::vector<float> samples(2 * 4800);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(std::sin(0.01 * i));

  while (!stop.load()) {
    if (!server.connected()) {
      if (server.accept(20ms)) counts.connections++;
      continue;
    }
    if (!server.pump(1ms)) {
      server.closeClient();
      continue;
    }
    std::vector<std::uint8_t> frame;
    const std::size_t frames = std::uniform_int_distribution<std::size_t>(0, 4800)(random);
    // clang-format off
    switch (std::uniform_int_distribution<int>(0, 9)(random)) {
      case 0: frame = link::encodeBuffer(FrameType::Init, samples.data(), frames * 2, chance(4) ? 1 : 2, 48000); break;
      case 1: frame = link::encodeBuffer(FrameType::Swap, samples.data(), frames * 2, 2, 48000); break;
      case 2: frame = link::encodePatch(static_cast<std::uint32_t>(frames), samples.data(), frames / 4); break;
      case 3: frame = link::encodeBand(seconds(), seconds()); break;
      case 4: frame = link::encodeSeek(seconds()); break;
      case 5: frame = link::encodeFlag(FrameType::Loop, chance(2)); break;
      case 6: frame = link::encodeFlag(FrameType::Capture, !chance(4)); break;
      case 7: frame = link::encodeFlag(FrameType::Run, !chance(4)); break;
      case 8: frame = link::encodeFrame(0x42, reinterpret_cast<const std::uint8_t*>(samples.data()), 7); break;
      default: frame = link::encodeFrame(FrameType::Run, {}); break;
    }
    // clang-format on
    if (chance(800)) frame = {0, 0, 0, 0};  // a framing error: the instance drops the link
    if (chance(800)) {
      server.closeClient();
      continue;
    }
    if (server.send(frame)) counts.sent++;
    counts.hellos += static_cast<long>(server.framesOfType(FrameType::Hello).size());
    counts.positions += static_cast<long>(server.framesOfType(FrameType::Position).size());
    counts.capturePcm += static_cast<long>(server.framesOfType(FrameType::CapturePcm).size());
    server.clear();
  }
}

TEST(ExternalStress, AudioLinkAndMainThreadsTogether) {
  std::string error;
  ASSERT_TRUE(loadModule(OMBER_EXTERNAL_MODULE, error)) << error;
  std::atomic<long> posts{0};
  setPostHandler([&posts](t_object*, const std::string&) { posts++; });

  external::testing::LoopbackServer playerBridge, feederBridge;
  BridgeCounts playerCounts, feederCounts;
  std::atomic<bool> stopBridges{false}, stopAudio{false};
  std::thread playerThread(runBridge, std::ref(playerBridge), std::ref(playerCounts), std::ref(stopBridges), 1u);
  std::thread feederThread(runBridge, std::ref(feederBridge), std::ref(feederCounts), std::ref(stopBridges), 2u);

  t_object* player = newObject("omber~", parseAtoms("@role 0"));
  t_object* feeder = newObject("omber~", parseAtoms("@role 1 @capture 1"));
  ASSERT_NE(player, nullptr);
  ASSERT_NE(feeder, nullptr);
  SignalChain chain;
  ASSERT_TRUE(chain.compile({player, feeder}, 44100.0, 64));

  std::atomic<long> ticks{0};
  std::thread audio([&] {
    long n = 0;
    while (!stopAudio.load(std::memory_order_relaxed)) {
      for (long k = 0; k < 64; ++k, ++n) chain.input(1, 0)[k] = chain.input(1, 1)[k] = std::sin(0.003 * n);
      chain.tick();
      ticks.fetch_add(1, std::memory_order_relaxed);
      std::this_thread::sleep_for(200us);
    }
  });

  std::mt19937 random(3);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
  sendMessage(player, "connect", {longAtom(playerBridge.port())});
  sendMessage(feeder, "connect", {longAtom(feederBridge.port())});
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(5ms);
    t_object* target = std::uniform_int_distribution<int>(0, 1)(random) ? player : feeder;
    const auto port = target == player ? playerBridge.port() : feederBridge.port();
    switch (std::uniform_int_distribution<int>(0, 19)(random)) {
      case 0: sendMessage(target, "disconnect"); break;
      case 1:
      case 2: sendMessage(target, "connect", {longAtom(port)}); break;
      case 3: sendMessage(target, "capture", {longAtom(std::uniform_int_distribution<int>(0, 1)(random))}); break;
      case 4: setAttribute(player, "role", {longAtom(std::uniform_int_distribution<int>(0, 1)(random))}); break;
      case 5: setAttribute(player, "role", {longAtom(0)}); break;
      case 6: setAttribute(target, "capture", {longAtom(1)}); break;
      case 7: sendMessage(target, "connect", {longAtom(0)}); break;  // refused with a post
      default: break;
    }
  }

  stopAudio = true;
  audio.join();
  freeObject(player);  // joins the link threads
  freeObject(feeder);
  stopBridges = true;
  playerThread.join();
  feederThread.join();
  setPostHandler(nullptr);

  EXPECT_GT(ticks.load(), 100);
  EXPECT_GT(playerCounts.sent.load() + feederCounts.sent.load(), 100);
  EXPECT_GE(playerCounts.hellos.load(), 1);
  EXPECT_GE(playerCounts.positions.load(), 1);
  EXPECT_GE(feederCounts.capturePcm.load(), 1);
  EXPECT_GT(posts.load(), 0);
}

}  // namespace
}  // namespace omber::maxhost

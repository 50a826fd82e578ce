// omber~.mxe64 as Max on Windows would load it: LoadLibrary binds its
// imports to MaxAPI.dll and MaxAudio.dll (here the headless host built as
// those two DLLs), a player and a capturing feeder are created, compiled
// into a signal chain (dsp64, dsp_add64) and performed, each linked to a
// TCP listener standing in for the bridge, then both are freed.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
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
using external::testing::LoopbackServer;
using link::FrameType;

constexpr long kVector = 64;
constexpr std::size_t kFrames = 4800;

std::vector<std::uint8_t> helloPayload(std::uint8_t role, std::int32_t rate) {
  std::vector<std::uint8_t> out;
  link::putU8(out, role);
  link::putI32(out, rate);
  link::putU16(out, 2);
  return out;
}

TEST(WindowsExternal, PlayerAndFeederThroughTheFakeMaxDlls) {
  std::string error;
  ASSERT_TRUE(loadModule(OMBER_EXTERNAL_MODULE, error)) << error;
  std::vector<std::string> posts;
  setPostHandler([&posts](t_object*, const std::string& text) { posts.push_back(text); });

  LoopbackServer playerBridge, feederBridge;
  t_object* player = newObject("omber~", parseAtoms("@role 0"));
  t_object* feeder = newObject("omber~", parseAtoms("@role 1 @capture 1"));
  ASSERT_NE(player, nullptr);
  ASSERT_NE(feeder, nullptr);
  SignalChain chain;
  ASSERT_TRUE(chain.compile({player, feeder}, 48000.0, kVector));

  ASSERT_TRUE(sendMessage(player, "connect", {longAtom(playerBridge.port())}));
  ASSERT_TRUE(sendMessage(feeder, "connect", {longAtom(feederBridge.port())}));
  ASSERT_TRUE(playerBridge.accept(5000ms));
  ASSERT_TRUE(feederBridge.accept(5000ms));
  ASSERT_TRUE(playerBridge.pumpUntil([&] { return !playerBridge.framesOfType(FrameType::Hello).empty(); }, 5000ms));
  EXPECT_EQ(playerBridge.framesOfType(FrameType::Hello).at(0).payload, helloPayload(link::kRolePlayer, 48000));

  // A stereo ramp: left rises from 1/N, right is its negation.
  std::vector<float> samples(2 * kFrames);
  for (std::size_t i = 0; i < kFrames; ++i) {
    samples[2 * i] = static_cast<float>(i + 1) / kFrames;
    samples[2 * i + 1] = -samples[2 * i];
  }
  ASSERT_TRUE(playerBridge.send(link::encodeBuffer(FrameType::Init, samples.data(), samples.size(), 2, 48000)));
  ASSERT_TRUE(playerBridge.send(link::encodeFlag(FrameType::Run, true)));

  // Perform until the player renders the buffer; the feeder captures 0.25.
  std::vector<double> left, right;
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (left.size() < 4 * kVector && std::chrono::steady_clock::now() < until) {
    for (long k = 0; k < kVector; ++k) chain.input(1, 0)[k] = chain.input(1, 1)[k] = 0.25;
    chain.tick();
    const double* outL = chain.output(0, 0);
    const double* outR = chain.output(0, 1);
    if (left.empty() && outL[0] == 0.0) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    left.insert(left.end(), outL, outL + kVector);
    right.insert(right.end(), outR, outR + kVector);
  }
  ASSERT_EQ(left.size(), 4u * kVector) << "the player never rendered the Init buffer";
  // Same rate, so every output sample is one of the buffer's frames, in order.
  const double first = left[0] * kFrames;
  EXPECT_NEAR(first, std::round(first), 1e-6);
  for (std::size_t k = 0; k < left.size(); ++k) {
    const std::size_t frame = static_cast<std::size_t>(std::lround(first)) - 1 + k;
    ASSERT_LT(frame, kFrames);
    EXPECT_EQ(left[k], static_cast<double>(samples[2 * frame])) << k;
    EXPECT_EQ(right[k], static_cast<double>(samples[2 * frame + 1])) << k;
  }

  // The player reports its play head; the feeder announces itself and uploads.
  ASSERT_TRUE(playerBridge.pumpUntil(
      [&] {
        for (const auto& frame : playerBridge.framesOfType(FrameType::Position)) {
          if (frame.payload.size() == 12 && link::getF64(frame.payload.data()) > 0.0) return true;
        }
        return false;
      },
      5000ms));
  ASSERT_TRUE(feederBridge.pumpUntil(
      [&] {
        for (long n = 0; n < 8; ++n) {
          for (long k = 0; k < kVector; ++k) chain.input(1, 0)[k] = chain.input(1, 1)[k] = 0.25;
          chain.tick();
        }
        return !feederBridge.framesOfType(FrameType::CapturePcm).empty();
      },
      5000ms));
  EXPECT_EQ(feederBridge.framesOfType(FrameType::Hello).at(0).payload, helloPayload(link::kRoleFeeder, 48000));
  const auto pcm = feederBridge.framesOfType(FrameType::CapturePcm).at(0);
  ASSERT_GE(pcm.payload.size(), 12u);
  const std::uint32_t frames = link::getU32(pcm.payload.data());
  EXPECT_GT(frames, 0u);
  EXPECT_EQ(pcm.payload.size(), 4 + 8 * static_cast<std::size_t>(frames));
  float value = 0;
  std::memcpy(&value, pcm.payload.data() + 4, sizeof value);
  EXPECT_EQ(value, 0.25f);

  // Freeing joins each link thread and closes its connection.
  freeObject(player);
  freeObject(feeder);
  EXPECT_TRUE(playerBridge.waitClosed(5000ms));
  EXPECT_TRUE(feederBridge.waitClosed(5000ms));
  setPostHandler(nullptr);
  EXPECT_FALSE(posts.empty());
}

}  // namespace
}  // namespace omber::maxhost

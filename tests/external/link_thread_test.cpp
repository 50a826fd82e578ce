#include "external/core/link_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "external/core/instance.h"
#include "external/core/reconnect_backoff.h"
#include "link/frame.h"
#include "loopback_server.h"

namespace omber::external {
namespace {

using namespace std::chrono_literals;
using link::FrameType;
using testing::LoopbackServer;

TEST(ReconnectBackoff, DoublesUpToTheLongestAndStartsAgainAfterALongConnection) {
  ReconnectBackoff backoff(100ms, 2000ms);
  std::vector<long> waits;
  for (int i = 0; i < 7; ++i) waits.push_back(static_cast<long>(backoff.next().count()));
  EXPECT_EQ(waits, (std::vector<long>{100, 200, 400, 800, 1600, 2000, 2000}));
  backoff.connectionEnded(1999ms);  // refused soon after connecting: keeps growing
  EXPECT_EQ(backoff.next().count(), 2000);
  backoff.connectionEnded(2000ms);
  EXPECT_EQ(backoff.next().count(), 100);
  EXPECT_EQ(backoff.next().count(), 200);
}

class LinkThreadTest : public ::testing::Test {
 protected:
  std::vector<std::string> posts() {
    std::lock_guard<std::mutex> guard(lock_);
    return posts_;
  }
  template <typename Predicate>
  static bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = 3000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  bool posted(const std::string& text) {
    return waitFor([&] {
      const auto all = posts();
      return std::find(all.begin(), all.end(), text) != all.end();
    });
  }
  // Connects the instance to the server and waits for the accept.
  void connect() {
    instance.connect(server.port());
    ASSERT_TRUE(server.accept(3000ms));
  }
  // Plays `vectors` 64-frame vectors as the audio thread would.
  void perform(int vectors) {
    for (int i = 0; i < vectors; ++i) {
      const double* ins[2] = {inL.data(), inR.data()};
      double* outs[2] = {outL.data(), outR.data()};
      instance.perform(ins, 2, outs, 2, 64);
    }
  }

  std::mutex lock_;
  std::vector<std::string> posts_;
  Instance instance{[this](const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    posts_.push_back(text);
  }};
  LoopbackServer server;
  std::vector<double> inL = std::vector<double>(64), inR = std::vector<double>(64);
  std::vector<double> outL = std::vector<double>(64), outR = std::vector<double>(64);
};

TEST_F(LinkThreadTest, FirstBytesAreTheHelloThenTheConnectedText) {
  instance.setRole(kRoleFeeder);
  instance.prepare(44100.0, 64);
  instance.start(false);
  connect();
  ASSERT_TRUE(server.pumpUntil([&] { return server.rawBytes().size() >= 12; }, 3000ms));
  const std::vector<std::uint8_t> hello(server.rawBytes().begin(), server.rawBytes().begin() + 12);
  EXPECT_EQ(hello, (std::vector<std::uint8_t>{8, 0, 0, 0, 0x80, 1, 0x44, 0xAC, 0, 0, 2, 0}));
  EXPECT_TRUE(posted("omber~: connected to 127.0.0.1:" + std::to_string(server.port())));
}

TEST_F(LinkThreadTest, AFailedConnectIsPostedOnceAndRetriedUntilTheBridgeListens) {
  const std::uint16_t port = testing::unusedPort();
  instance.start(false);
  instance.connect(port);
  ASSERT_TRUE(posted("omber~: connect to port " + std::to_string(port) + " failed"));
  std::this_thread::sleep_for(400ms);  // several silent retries
  LoopbackServer late(port);
  ASSERT_TRUE(late.accept(3000ms));
  ASSERT_TRUE(late.pumpUntil([&] { return !late.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  ASSERT_TRUE(posted("omber~: connected to 127.0.0.1:" + std::to_string(port)));
  EXPECT_EQ(posts().size(), 2u);
}

TEST_F(LinkThreadTest, AClosedLinkIsReopenedWithTokenAndHelloAgain) {
  instance.start(false);
  instance.connect(server.port(), std::string("0123456789abcdef0123456789abcdef"));
  ASSERT_TRUE(server.accept(3000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return server.frames().size() >= 2; }, 3000ms));
  server.closeClient();  // the bridge drops the instance (or restarts)
  server.clear();
  ASSERT_TRUE(server.accept(3000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return server.frames().size() >= 2; }, 3000ms));
  EXPECT_EQ(server.frames()[0].type, static_cast<std::uint8_t>(FrameType::Token));
  EXPECT_EQ(std::string(server.frames()[0].payload.begin(), server.frames()[0].payload.end()),
            "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(server.frames()[1].type, static_cast<std::uint8_t>(FrameType::Hello));
  EXPECT_TRUE(posted("omber~: bridge closed the link"));
}

TEST_F(LinkThreadTest, WithoutATokenTheHelloComesFirst) {
  instance.start(false);
  connect();
  ASSERT_TRUE(server.pumpUntil([&] { return !server.frames().empty(); }, 3000ms));
  EXPECT_EQ(server.frames()[0].type, static_cast<std::uint8_t>(FrameType::Hello));
  EXPECT_TRUE(server.framesOfType(FrameType::Token).empty());
}

TEST_F(LinkThreadTest, TheLaterOfDisconnectAndConnectWins) {
  instance.start(false);
  connect();
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  instance.disconnect();
  instance.connect(server.port());
  // The old connection closes and a new one says Hello.
  EXPECT_TRUE(server.waitClosed(1000ms));
  server.clear();
  ASSERT_TRUE(server.accept(3000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  EXPECT_FALSE(server.waitClosed(200ms));  // and stays

  instance.connect(server.port());
  instance.disconnect();
  EXPECT_TRUE(server.waitClosed(1000ms));
  EXPECT_FALSE(server.accept(300ms));
}

TEST_F(LinkThreadTest, PositionIsSentOnceForAStillHeadAndNotAgainAfterReconnectUntilItMoves) {
  instance.prepare(48000.0, 64);
  instance.start(false);
  connect();
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Position).empty(); }, 3000ms));
  server.pump(100ms);
  auto positions = server.framesOfType(FrameType::Position);
  ASSERT_EQ(positions.size(), 1u);
  ASSERT_EQ(positions[0].payload.size(), 12u);
  EXPECT_EQ(link::getF64(positions[0].payload.data()), 0.0);

  instance.disconnect();
  EXPECT_TRUE(server.waitClosed(1000ms));
  server.clear();
  connect();
  server.pump(150ms);
  server.pump(50ms);
  EXPECT_EQ(server.framesOfType(FrameType::Hello).size(), 1u);
  EXPECT_TRUE(server.framesOfType(FrameType::Position).empty());

  // The play head moves once a buffer plays.
  const std::vector<float> samples(2 * 4800, 0.5f);
  server.send(link::encodeBuffer(FrameType::Init, samples.data(), samples.size(), 2, 48000));
  ASSERT_TRUE(waitFor([&] { return instance.state().commands.size() == 1; }));
  perform(2);
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Position).empty(); }, 3000ms));
  EXPECT_EQ(link::getF64(server.framesOfType(FrameType::Position)[0].payload.data()), 128.0 / 48000.0);
  // "disconnect" posts nothing.
  EXPECT_EQ(posts().size(), 2u);
}

TEST_F(LinkThreadTest, CapturedAudioIsUploadedInOrderInFramesOf128To48000) {
  instance.setRole(kRoleFeeder);
  instance.prepare(48000.0, 64);
  instance.start(true);
  connect();
  std::size_t next = 0;
  const int vectors = 1500;  // 2 s of audio, faster than real time
  for (int i = 0; i < vectors; ++i) {
    for (std::size_t k = 0; k < 64; ++k, ++next) {
      inL[k] = static_cast<double>(next);
      inR[k] = -static_cast<double>(next);
    }
    perform(1);
    if (i % 8 == 0) server.pump(0ms);
  }
  const std::size_t expected = vectors * 64 - 1;  // the first frame primes the resampler
  std::vector<float> captured;
  server.pumpUntil(
      [&] {
        std::size_t frames = 0;
        for (const auto& frame : server.framesOfType(FrameType::CapturePcm))
          frames += link::getU32(frame.payload.data());
        return frames + instance.state().captureRing.readable() / 8 >= expected &&
               instance.state().captureRing.readable() < 1024;
      },
      5000ms);
  for (const auto& frame : server.framesOfType(FrameType::CapturePcm)) {
    const std::uint32_t frames = link::getU32(frame.payload.data());
    ASSERT_EQ(frame.payload.size(), 4 + 8 * std::size_t{frames});
    EXPECT_GE(frames, 128u);
    EXPECT_LE(frames, 48000u);
    const std::size_t at = captured.size();
    captured.resize(at + frames * 2);
    std::memcpy(captured.data() + at, frame.payload.data() + 4, frames * 8);
  }
  ASSERT_GT(captured.size(), 0u);
  for (std::size_t j = 0; j < captured.size() / 2; ++j) {
    ASSERT_EQ(captured[j * 2], static_cast<float>(j + 1)) << j;
    ASSERT_EQ(captured[j * 2 + 1], -static_cast<float>(j + 1)) << j;
  }
  EXPECT_GE(captured.size() / 2 + 127, expected);
}

TEST_F(LinkThreadTest, WhileDisconnectedTheRingKeepsTheOldestAudioAndDropsTheRest) {
  instance.setRole(kRoleFeeder);
  instance.prepare(48000.0, 64);
  instance.start(true);
  std::size_t next = 0;
  for (int i = 0; i < 6 * 750; ++i) {  // 6 s: more than the ring holds
    for (std::size_t k = 0; k < 64; ++k, ++next) inL[k] = inR[k] = static_cast<double>(next % 1000000);
    perform(1);
  }
  const std::size_t held = instance.state().captureRing.readable();
  EXPECT_EQ(held % 8, 0u);
  EXPECT_EQ(held, CaptureRing::kDefaultBytes - 8);  // full up to the last whole frame

  connect();
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::CapturePcm).empty(); }, 3000ms));
  const auto first = server.framesOfType(FrameType::CapturePcm)[0];
  EXPECT_EQ(link::getU32(first.payload.data()), 48000u);
  float sample[2];
  std::memcpy(sample, first.payload.data() + 4, sizeof sample);
  EXPECT_EQ(sample[0], 1.0f);  // the oldest captured frame
  EXPECT_EQ(sample[1], 1.0f);
}

TEST_F(LinkThreadTest, A70MegabyteInitArrivesAsOneReplace) {
  instance.prepare(48000.0, 64);
  instance.start(false);
  connect();
  const std::uint32_t frames = 8750000;  // 70,000,000 bytes of stereo f32
  std::vector<float> samples(std::size_t{frames} * 2);
  for (std::size_t i = 0; i < samples.size(); i += 4099) samples[i] = static_cast<float>(i);
  samples.back() = 42.0f;
  const auto frame = link::encodeBuffer(FrameType::Init, samples.data(), samples.size(), 2, 48000);
  std::thread sender([&] { server.send(frame); });
  ASSERT_TRUE(waitFor([&] { return instance.state().commands.size() == 1; }, 20000ms));
  sender.join();
  perform(1);
  const PlayerVoice& voice = instance.state().voice;
  EXPECT_EQ(voice.frames(), frames);
  EXPECT_EQ(voice.channels(), 2);
  EXPECT_EQ(voice.currentSamples()[4099 * 1000], static_cast<float>(4099 * 1000));
  EXPECT_EQ(voice.currentSamples()[samples.size() - 1], 42.0f);
  EXPECT_EQ(instance.state().commands.size(), 0u);
}

TEST_F(LinkThreadTest, EveryFrameTypeReachesThePlayer) {
  instance.prepare(48000.0, 64);
  instance.start(false);
  connect();
  const std::vector<float> first(2 * 48000, 0.25f), second(2 * 96000, 0.5f), patch{1.0f, 1.0f};
  server.send(link::encodeBuffer(FrameType::Init, first.data(), first.size(), 2, 48000));
  server.send(link::encodeBuffer(FrameType::Swap, second.data(), second.size(), 2, 48000));
  server.send(link::encodePatch(10, patch.data(), 1));
  server.send(link::encodeBand(0.5, 1.5));
  server.send(link::encodeSeek(1.0));
  server.send(link::encodeFlag(FrameType::Loop, false));
  server.send(link::encodeFlag(FrameType::Capture, true));
  server.send(link::encodeFlag(FrameType::Run, false));
  ASSERT_TRUE(waitFor([&] {
    return instance.state().commands.size() == 6 && instance.state().capturing.load() &&
           !instance.state().voice.advancing();
  }));
  perform(1);
  const PlayerVoice& voice = instance.state().voice;
  EXPECT_EQ(voice.frames(), 96000u);
  EXPECT_EQ(voice.swapCount(), 1);
  EXPECT_EQ(voice.currentSamples()[20], 1.0f);
  EXPECT_DOUBLE_EQ(voice.bandStart(), 24000.0);
  EXPECT_DOUBLE_EQ(voice.playHead(), 48000.0);  // held by Run off
  EXPECT_FALSE(voice.loopWhole());
}

TEST_F(LinkThreadTest, FramingErrorsAndClosedBridgesArePostedAndEndTheConnection) {
  instance.start(false);
  connect();
  server.send({0, 0, 0, 0, 1});
  ASSERT_TRUE(posted("omber~: link framing error"));
  EXPECT_TRUE(server.waitClosed(1000ms));

  server.clear();
  connect();
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(FrameType::Hello).empty(); }, 3000ms));
  server.closeClient();
  ASSERT_TRUE(posted("omber~: bridge closed the link"));
}

TEST_F(LinkThreadTest, FreeingEndsAThreadWaitingOnAFullCommandQueue) {
  auto waiting = std::make_unique<Instance>([](const std::string&) {});
  waiting->start(false);
  waiting->connect(server.port());
  ASSERT_TRUE(server.accept(3000ms));
  std::vector<std::uint8_t> burst;
  for (int i = 0; i < 2100; ++i) {
    const auto seek = link::encodeSeek(0.0);
    burst.insert(burst.end(), seek.begin(), seek.end());
  }
  server.send(burst);
  ASSERT_TRUE(waitFor([&] { return waiting->state().commands.size() == CommandQueue::kCapacity; }));
  const auto started = std::chrono::steady_clock::now();
  waiting.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1000ms);
}

// Frees `doomed` on another thread and returns how long it took; gives up
// after `patience` (then `unblock` must make the free finish).
template <typename Unblock>
std::chrono::milliseconds timedFree(std::unique_ptr<Instance>& doomed, std::chrono::milliseconds patience,
                                    Unblock unblock) {
  std::atomic<bool> done{false};
  const auto started = std::chrono::steady_clock::now();
  std::thread freeing([&] {
    doomed.reset();
    done.store(true);
  });
  while (!done.load() && std::chrono::steady_clock::now() - started < patience) std::this_thread::sleep_for(1ms);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  if (!done.load()) unblock();
  freeing.join();
  return took;
}

TEST_F(LinkThreadTest, FreeReturnsPromptlyWhileTheBridgeStopsReading) {
  auto feeder = std::make_unique<Instance>([](const std::string&) {});
  feeder->setRole(kRoleFeeder);
  feeder->prepare(48000.0, 4096);
  feeder->start(true);
  feeder->connect(server.port());
  ASSERT_TRUE(server.accept(3000ms));
  // The server never reads: the socket buffers fill, then the capture ring.
  std::vector<double> in(4096, 0.25), out(4096);
  const double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {out.data(), out.data()};
  const auto end = std::chrono::steady_clock::now() + 20s;
  bool stuck = false;
  while (!stuck && std::chrono::steady_clock::now() < end) {
    feeder->perform(ins, 2, outs, 2, 4096);
    std::this_thread::sleep_for(1ms);
    stuck = feeder->state().captureRing.readable() > CaptureRing::kDefaultBytes - 65536;
  }
  ASSERT_TRUE(stuck) << "the link thread kept sending";
  // A new "connect" is taken at once, though the old bridge never reads.
  LoopbackServer other;
  feeder->connect(other.port());
  EXPECT_TRUE(other.accept(1000ms));
  EXPECT_TRUE(server.waitClosed(1000ms));
  // And so is free, while the new bridge does not read either.
  stuck = false;
  for (int i = 0; i < 20000 && !stuck; ++i) {
    feeder->perform(ins, 2, outs, 2, 4096);
    std::this_thread::sleep_for(1ms);
    stuck = feeder->state().captureRing.readable() > CaptureRing::kDefaultBytes - 65536;
  }
  ASSERT_TRUE(stuck);
  const auto took = timedFree(feeder, 1000ms, [&] { other.closeClient(); });
  EXPECT_LT(took.count(), 1000);
}

TEST_F(LinkThreadTest, DisconnectAndFreeStopTheRetries) {
  const std::uint16_t port = testing::unusedPort();
  LinkThread::Timing quick;
  quick.reconnectFirst = 5ms;
  quick.reconnectLongest = 20ms;
  Instance retrying([](const std::string&) {}, quick);
  retrying.start(false);
  retrying.connect(port);
  std::this_thread::sleep_for(100ms);
  retrying.disconnect();
  std::this_thread::sleep_for(50ms);
  LoopbackServer late(port);
  EXPECT_FALSE(late.accept(300ms));

  // Free during a long wait between attempts.
  auto waiting = std::make_unique<Instance>([](const std::string&) {});
  waiting->start(false);
  waiting->connect(port == 65535 ? 1 : testing::unusedPort());
  std::this_thread::sleep_for(1000ms);  // the waits have grown to 800 ms and more
  const auto took = timedFree(waiting, 1000ms, [] {});
  EXPECT_LT(took.count(), 200);
}

// 20,000 empty Patch frames (9 bytes each, so one receive holds thousands)
// arrive at once while the audio thread applies
// 256 commands per vector at its real-time pace: the link thread waits for
// room in the CommandQueue most of the time and must keep freeing what the
// audio thread hands back meanwhile.
TEST_F(LinkThreadTest, AFloodOfPatchesNeverMakesTheAudioThreadFree) {
  instance.prepare(48000.0, 64);
  instance.start(false);
  connect();
  const std::vector<float> buffer(2 * 4800, 0.0f);
  server.send(link::encodeBuffer(FrameType::Init, buffer.data(), buffer.size(), 2, 48000));
  std::vector<std::uint8_t> burst;
  constexpr int kPatches = 20000;
  for (int i = 0; i < kPatches; ++i) {
    const auto patch = link::encodePatch(static_cast<std::uint32_t>(i % 4800), nullptr, 0);
    burst.insert(burst.end(), patch.begin(), patch.end());
  }
  instance.logPatches(true);
  std::thread sender([&] { server.send(burst); });
  std::atomic<bool> stop{false};
  std::atomic<long> applied{0};
  std::thread audio([&] {
    std::vector<double> in(64), outL(64), outR(64);
    const double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {outL.data(), outR.data()};
    std::vector<AppliedPatch> log(4096);
    auto next = std::chrono::steady_clock::now();
    while (!stop.load()) {
      instance.perform(ins, 2, outs, 2, 64);
      applied += static_cast<long>(instance.takeAppliedPatches(log.data(), log.size()));
      next += std::chrono::microseconds(1333);  // 64 frames at 48 kHz
      std::this_thread::sleep_until(next);
    }
  });
  const bool all = waitFor([&] { return applied.load() >= kPatches; }, 10000ms);
  stop = true;
  audio.join();
  sender.join();
  EXPECT_TRUE(all) << applied.load();
  EXPECT_EQ(instance.state().fallbackFrees.load(), 0u);
}

}  // namespace
}  // namespace omber::external

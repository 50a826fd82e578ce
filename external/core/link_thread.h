// The instance's link thread: the only code of an omber~ instance that
// touches the network.
//
// It connects to 127.0.0.1 only when a "connect" message left a pending
// port, announces the instance with Hello, turns the engine's frames into
// player commands, reports the play head and uploads captured audio. It
// never reconnects on its own.
#pragma once

#include <chrono>
#include <thread>

#include "external/core/frame_translation.h"
#include "external/core/instance_state.h"

namespace omber::external {

class LinkThread {
 public:
  struct Timing {
    std::chrono::milliseconds idleSleep{20};
    std::chrono::microseconds receiveWait{2000};
    std::chrono::nanoseconds positionInterval{5000000};
    FrameTranslator::Timing commands{};
  };

  static constexpr std::size_t kReceiveBytes = 65536;
  static constexpr std::size_t kUploadBytes = 384000;  // one second of 48 kHz stereo f32
  static constexpr std::size_t kUploadMinimumBytes = 1024;

  explicit LinkThread(InstanceState& state) : LinkThread(state, Timing{}) {}
  LinkThread(InstanceState& state, Timing timing) : state_(state), timing_(timing) {}
  ~LinkThread() { join(); }
  LinkThread(const LinkThread&) = delete;
  LinkThread& operator=(const LinkThread&) = delete;

  // Main thread. Starts the loop; it runs while state.running is true.
  void start();
  // Main thread. Waits for the loop to end; set state.running to false first.
  void join();

 private:
  void run();

  InstanceState& state_;
  Timing timing_;
  std::thread thread_;
};

}  // namespace omber::external

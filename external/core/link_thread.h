// The instance's link thread: the only code of an omber~ instance that
// touches the network.
//
// After a "connect" it connects to 127.0.0.1 at the given port, sends the
// bridge token (when one was given) and a Hello, turns the engine's frames
// into player commands, reports the play head and uploads captured audio.
// While the instance is meant to be connected it reconnects on its own after
// a failed connect or a lost connection, waiting 100 ms, then twice as long
// each time up to 2 s; a connection that lasted 2 s or more starts that
// series afresh. "disconnect" and free stop it at once.
//
// No wait of this thread lasts longer than a few milliseconds without a
// look at the instance's running flag and its connect requests, so free,
// "disconnect" and a new "connect" take effect within about 20 ms whatever
// the bridge does (a bridge that stops reading included).
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
    // A connect that completes neither way within this counts as failed.
    std::chrono::milliseconds connectTimeout{1000};
    std::chrono::milliseconds reconnectFirst{100};
    std::chrono::milliseconds reconnectLongest{2000};
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
  void run() noexcept;

  InstanceState& state_;
  Timing timing_;
  std::thread thread_;
};

}  // namespace omber::external

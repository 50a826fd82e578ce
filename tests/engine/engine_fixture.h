// An engine whose outlet records every message, with a short way to send it
// one message.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "core/engine/engine.h"
#include "support/recording_outlet.h"

namespace omber::testing {
using namespace omber::base;
using namespace omber::live;
using namespace omber::server;
using namespace omber::documents;
using namespace omber::engine;

class EngineTest : public ::testing::Test {
 protected:
  void send(const std::string& selector, Atoms atoms = {}) { engine.inlet(selector, atoms); }
  void send(const std::string& selector, double number) { send(selector, Atoms{Atom(number)}); }
  void send(const std::string& selector, int number) { send(selector, static_cast<double>(number)); }
  void send(const std::string& selector, const char* text) { send(selector, Atoms{Atom(text)}); }

  // Marks the session ready and a stream playing, as the server link will.
  void readyAndPlaying() {
    engine.live().ready = true;
    engine.live().playing = true;
  }

  Recorder recorder;
  Engine engine{recorder.outlet()};
};

}  // namespace omber::testing

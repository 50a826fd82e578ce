// The headless host's signal chain: compiles a set of signal objects (each
// one's dsp64 adds its perform routine with dsp_add64) and runs one vector
// for all of them per tick.
#pragma once

#include <cstddef>
#include <vector>

#include "external/maxhost/max_api.h"

namespace omber::maxhost {

class SignalChain {
 public:
  using Perform64 = t_perfroutine64;

  SignalChain();
  ~SignalChain();
  SignalChain(const SignalChain&) = delete;
  SignalChain& operator=(const SignalChain&) = delete;

  // Main thread, while the chain is not ticking: calls every object's dsp64
  // with the rate and vector size and allocates one buffer per signal.
  // False when an object has no dsp64 or added no perform routine.
  bool compile(const std::vector<t_object*>& objects, double sampleRate, long vectorSize);

  // Audio thread: one vector through every perform routine, in the order
  // the objects were given. Does not allocate, lock or wait.
  void tick() noexcept;

  // The inlet buffers are read by the next tick (zeros unless written); the
  // outlet buffers hold what the last tick wrote.
  double* input(std::size_t objectIndex, long inlet);
  const double* output(std::size_t objectIndex, long outlet) const;

  double sampleRate() const { return sampleRate_; }
  long vectorSize() const { return vectorSize_; }

  // Drops a freed object from every chain (main thread).
  static void forgetObject(t_object* object);

  // What dsp_add64 does: records the perform routine of the object whose
  // dsp64 the chain behind `chainObject` is calling (main thread).
  static void addPerform(t_object* chainObject, t_object* x, Perform64 perform, long flags, void* userparam);

 private:
  struct Node {
    t_object* object = nullptr;
    std::vector<std::vector<double>> inBuffers, outBuffers;
    std::vector<double*> ins, outs;
    Perform64 perform = nullptr;
    long flags = 0;
    void* userparam = nullptr;
  };

  t_object* chainObject_ = nullptr;  // the "dsp64" object handed to the objects
  std::vector<Node> nodes_;
  std::size_t compiling_ = 0;
  double sampleRate_ = 48000.0;
  long vectorSize_ = 64;
};

}  // namespace omber::maxhost

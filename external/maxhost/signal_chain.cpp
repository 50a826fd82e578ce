#include "external/maxhost/signal_chain.h"

#include <algorithm>
#include <set>

#include "external/maxhost/host.h"
#include "external/maxhost/host_internal.h"

namespace omber::maxhost {

namespace {

// The object passed to dsp64 as the signal chain; dsp_add64 reaches the
// owning SignalChain through it.
struct ChainObject {
  t_object header;
  SignalChain* owner;
};

t_class* chainClass() {
  static t_class* c = class_new("dspchain", nullptr, nullptr, static_cast<long>(sizeof(ChainObject)), nullptr, 0);
  return c;
}

std::set<SignalChain*>& chains() {
  static std::set<SignalChain*> all;
  return all;
}

}  // namespace

SignalChain::SignalChain() {
  auto* object = static_cast<ChainObject*>(object_alloc(chainClass()));
  object->owner = this;
  chainObject_ = &object->header;
  chains().insert(this);
}

SignalChain::~SignalChain() {
  chains().erase(this);
  object_free(chainObject_);
}

void SignalChain::addPerform(t_object* chainObject, t_object* x, Perform64 perform, long flags, void* userparam) {
  if (!chainObject || detail::classOf(chainObject) != detail::classRecord(chainClass())) return;
  SignalChain* chain = reinterpret_cast<ChainObject*>(chainObject)->owner;
  if (chain->compiling_ >= chain->nodes_.size()) return;
  Node& node = chain->nodes_[chain->compiling_];
  if (x != node.object) return;
  node.perform = perform;
  node.flags = flags;
  node.userparam = userparam;
}

bool SignalChain::compile(const std::vector<t_object*>& objects, double sampleRate, long vectorSize) {
  sampleRate_ = sampleRate;
  vectorSize_ = std::max(vectorSize, 1L);
  nodes_.clear();
  nodes_.resize(objects.size());
  bool complete = true;
  for (compiling_ = 0; compiling_ < objects.size(); ++compiling_) {
    Node& node = nodes_[compiling_];
    t_object* object = objects[compiling_];
    node.object = object;
    const long inlets = signalInlets(object);
    const long outlets = signalOutlets(object);
    node.inBuffers.assign(static_cast<std::size_t>(inlets), std::vector<double>(vectorSize_, 0.0));
    node.outBuffers.assign(static_cast<std::size_t>(outlets), std::vector<double>(vectorSize_, 0.0));
    for (auto& buffer : node.inBuffers) node.ins.push_back(buffer.data());
    for (auto& buffer : node.outBuffers) node.outs.push_back(buffer.data());

    const auto& methods = detail::classOf(object)->methods;
    const auto found = methods.find("dsp64");
    if (found == methods.end()) {
      complete = false;
      continue;
    }
    std::vector<short> connected(static_cast<std::size_t>(inlets + outlets), 1);
    using Dsp64 = void (*)(t_object*, t_object*, short*, double, long, long);
    routineAs<Dsp64>(found->second.routine)(object, chainObject_, connected.data(), sampleRate_, vectorSize_, 0);
    complete = complete && node.perform != nullptr;
  }
  return complete;
}

void SignalChain::tick() noexcept {
  for (Node& node : nodes_) {
    if (!node.perform) continue;
    node.perform(node.object, chainObject_, node.ins.data(), static_cast<long>(node.ins.size()), node.outs.data(),
                 static_cast<long>(node.outs.size()), vectorSize_, node.flags, node.userparam);
  }
}

double* SignalChain::input(std::size_t objectIndex, long inlet) {
  if (objectIndex >= nodes_.size() || inlet < 0 || static_cast<std::size_t>(inlet) >= nodes_[objectIndex].ins.size())
    return nullptr;
  return nodes_[objectIndex].ins[static_cast<std::size_t>(inlet)];
}

const double* SignalChain::output(std::size_t objectIndex, long outlet) const {
  if (objectIndex >= nodes_.size() || outlet < 0 || static_cast<std::size_t>(outlet) >= nodes_[objectIndex].outs.size())
    return nullptr;
  return nodes_[objectIndex].outs[static_cast<std::size_t>(outlet)];
}

void SignalChain::forgetObject(t_object* object) {
  for (SignalChain* chain : chains()) {
    for (Node& node : chain->nodes_) {
      if (node.object == object) node.perform = nullptr;
    }
  }
}

}  // namespace omber::maxhost

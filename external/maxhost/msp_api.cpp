// The headless host's implementation of the MaxAudio functions omber~
// calls, defined against the SDK's own declarations. On Windows this file
// alone makes the fake MaxAudio.dll; the rest of the host is MaxAPI.dll.
// Main thread only (object creation, free and signal chain compilation).
#include "external/maxhost/host_internal.h"
#include "external/maxhost/signal_chain.h"

extern "C" {

void class_dspinit(t_class* c) {
  if (maxhost_class* record = omber::maxhost::detail::classRecord(c)) record->dsp = true;
}

void z_dsp_setup(t_pxobject* x, long nsignals) {
  if (!x) return;
  x->z_in = nsignals;
  x->z_count = static_cast<short>(nsignals);
  omber::maxhost::detail::infoOf(&x->z_ob)->signalInlets = nsignals;
}

void z_dsp_free(t_pxobject* x) {
  if (x) omber::maxhost::SignalChain::forgetObject(&x->z_ob);
}

void dsp_add64(t_object* chain, t_object* x, t_perfroutine64 f, long flags, void* userparam) {
  omber::maxhost::SignalChain::addPerform(chain, x, f, flags, userparam);
}

}  // extern "C"

// The omber~ Max class: creation and free, messages, attributes, dsp64 and
// the 64-bit perform routine. Everything it does is forwarded to
// omber::external::Instance; this file only speaks the Max API.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "external/core/instance.h"
#include "external/core/socket.h"
#include "external/max/max_sdk.h"

using omber::external::Instance;

namespace {

struct OmberObject {
  t_pxobject ob;
  t_atom_long role;     // attribute "role": 0 player, 1 feeder
  t_atom_long capture;  // attribute "capture": initial capture switch
  Instance* instance;
};

t_class* s_class = nullptr;

// Max keeps every routine as a `method`; going through void(*)() marks the
// cast as deliberate.
template <typename Routine>
method asMethod(Routine routine) {
  return reinterpret_cast<method>(reinterpret_cast<void (*)()>(routine));
}

t_atom_long clipToSwitch(t_atom_long value) { return std::clamp<t_atom_long>(value, 0, 1); }

void* omberNew(t_symbol*, long argc, t_atom* argv) {
  auto* x = static_cast<OmberObject*>(object_alloc(s_class));
  if (!x) return nullptr;
  z_dsp_setup(&x->ob, 2);
  outlet_new(x, "signal");
  outlet_new(x, "signal");
  x->ob.z_misc |= Z_NO_INPLACE;

  try {
    x->instance =
        new Instance([x](const std::string& text) { object_post(reinterpret_cast<t_object*>(x), "%s", text.c_str()); });
    attr_args_process(x, static_cast<short>(argc), argv);
    x->instance->start(x->capture != 0);
  } catch (...) {  // out of memory or no thread: no object, and nothing thrown into Max
    object_free(x);
    return nullptr;
  }
  return x;
}

void omberFree(OmberObject* x) {
  z_dsp_free(&x->ob);
  // Stops and joins the link thread and frees every block (null when
  // creation failed).
  delete x->instance;
  x->instance = nullptr;
}

// "connect <port> [token]": the token is a symbol; any other atom in its
// place is refused as a bad token (an empty text).
void omberConnect(OmberObject* x, t_symbol*, long argc, t_atom* argv) {
  std::optional<std::string> token;
  if (argc > 1) {
    const t_atom& atom = argv[1];
    token = atom.a_type == A_SYM && atom.a_w.w_sym ? atom.a_w.w_sym->s_name : "";
  }
  x->instance->connect(argc > 0 ? std::optional<long>(static_cast<long>(atom_getlong(argv))) : std::nullopt,
                       std::move(token));
}

void omberDisconnect(OmberObject* x) { x->instance->disconnect(); }

void omberCapture(OmberObject* x, t_atom_long on) { x->instance->setCapture(on != 0); }

void omberAssist(OmberObject*, void*, long io, long index, char* text) {
  const char* label;
  if (io == ASSIST_INLET) {
    label = index == 0 ? "(signal) capture in L / messages" : "(signal) capture in R";
  } else {
    label = index == 0 ? "(signal) OMBER out L" : "(signal) OMBER out R";
  }
  std::snprintf(text, 256, "%s", label);
}

// Private diagnostics for a host that embeds omber~ (the headless runner),
// reached only through object_method, never from a patch. Each takes
// pointer-sized arguments:
//   "tap_log" (on): record every Patch the audio thread applies, with time;
//   "tap_patches" (AppliedPatch* out, max): moves records out, returns count;
//   "tap_buffer" (const char* path): writes the player's buffer (only while
//   DSP is stopped); returns non-null on success.
void* omberTapLog(OmberObject* x, long on) {
  x->instance->logPatches(on != 0);
  return nullptr;
}

void* omberTapPatches(OmberObject* x, omber::external::AppliedPatch* out, long max) {
  const std::size_t count = x->instance->takeAppliedPatches(out, max > 0 ? static_cast<std::size_t>(max) : 0);
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(count));
}

void* omberTapBuffer(OmberObject* x, const char* path) { return path && x->instance->writeBuffer(path) ? x : nullptr; }

// The role attribute is also read by the audio and link threads, so it is
// mirrored into the instance's atomic.
t_max_err omberSetRole(OmberObject* x, void*, long argc, t_atom* argv) {
  if (argc < 1 || !argv) return MAX_ERR_NONE;
  x->role = clipToSwitch(atom_getlong(argv));
  x->instance->setRole(static_cast<std::int32_t>(x->role));
  return MAX_ERR_NONE;
}

// Has exactly the SDK's t_perfroutine64 type, so dsp_add64 checks it.
void omberPerform64(t_object* object, t_object*, double** ins, long numins, double** outs, long numouts,
                    long sampleframes, long, void*) {
  reinterpret_cast<OmberObject*>(object)->instance->perform(ins, numins, outs, numouts, sampleframes);
}

void omberDsp64(OmberObject* x, t_object* dsp64, short*, double samplerate, long maxvectorsize, long) {
  x->instance->prepare(samplerate, maxvectorsize);
  dsp_add64(dsp64, &x->ob.z_ob, omberPerform64, 0, nullptr);
}

// The fields are t_atom_long, so the attributes are "atom_long": Max stores
// a "long" attribute as a C long, which is half of the field on Windows x64.
void addSwitchAttribute(const char* name, method setter, long offset) {
  class_addattr(s_class, attr_offset_new(name, gensym("atom_long"), 0, nullptr, setter, offset));
  attr_addfilter_clip(class_attr_get(s_class, gensym(name)), 0, 1, 1, 1);
}

}  // namespace

extern "C" C74_EXPORT void ext_main(void*) {
  // Sockets (WSAStartup on Windows) stay started until the module unloads.
  static omber::external::net::SocketRuntime sockets;

  s_class = class_new("omber~", asMethod(omberNew), asMethod(omberFree), static_cast<long>(sizeof(OmberObject)),
                      nullptr, A_GIMME, 0);
  class_addmethod(s_class, asMethod(omberDsp64), "dsp64", A_CANT, 0);
  class_addmethod(s_class, asMethod(omberConnect), "connect", A_GIMME, 0);
  class_addmethod(s_class, asMethod(omberDisconnect), "disconnect", 0);
  class_addmethod(s_class, asMethod(omberCapture), "capture", A_LONG, 0);
  class_addmethod(s_class, asMethod(omberAssist), "assist", A_CANT, 0);
  class_addmethod(s_class, asMethod(omberTapLog), "tap_log", A_CANT, 0);
  class_addmethod(s_class, asMethod(omberTapPatches), "tap_patches", A_CANT, 0);
  class_addmethod(s_class, asMethod(omberTapBuffer), "tap_buffer", A_CANT, 0);
  addSwitchAttribute("role", asMethod(omberSetRole), calcoffset(OmberObject, role));
  addSwitchAttribute("capture", nullptr, calcoffset(OmberObject, capture));
  class_dspinit(s_class);
  class_register(CLASS_BOX, s_class);
}

// The headless host's records behind the SDK's Max types. Internal to the
// host library.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "external/maxhost/max_api.h"

// Externals declare their methods with their own object type where the API
// passes a t_object* (the convention of every Max external, which the real
// host relies on too), so a stored routine is called through a type that
// differs from its definition in that pointer alone. The function-type check
// of UBSan is switched off for exactly these calls.
#if defined(__clang__)
#define MAXHOST_CALLS_EXTERNAL_ROUTINES __attribute__((no_sanitize("function")))
#else
#define MAXHOST_CALLS_EXTERNAL_ROUTINES
#endif

template <typename Routine>
struct MaxRoutine;

template <typename Result, typename... Params>
struct MaxRoutine<Result (*)(Params...)> {
  method routine;
  MAXHOST_CALLS_EXTERNAL_ROUTINES Result operator()(Params... params) const {
    return reinterpret_cast<Result (*)(Params...)>(reinterpret_cast<void (*)()>(routine))(params...);
  }
};

// Calls a stored `method` through the signature the host calls it with.
template <typename Routine>
MaxRoutine<Routine> routineAs(method m) {
  return MaxRoutine<Routine>{m};
}

// One registered method: its routine and argument types (0-terminated).
struct maxhost_method {
  method routine = nullptr;
  std::vector<int> types;
};

// An attribute made by attr_offset_new. It is itself an object (it starts
// with a t_object) so that class_attr_get can hand it to attr_addfilter_clip.
struct maxhost_attribute {
  t_object header{};
  std::string name;
  t_symbol* type = nullptr;
  method getter = nullptr;
  method setter = nullptr;
  long offset = 0;
  bool clipMin = false, clipMax = false;
  double min = 0.0, max = 0.0;
};

// The host's record of a class. class_new hands out `sdk`, whose c_extra
// points back here. As in Max, an object's o_messlist points just past an
// entry whose m_sym holds the object's t_class*.
struct maxhost_class {
  t_class sdk{};
  t_messlist messages[2]{};  // [0] names the class, objects point at [1]
  std::string name;
  method newRoutine = nullptr;
  method freeRoutine = nullptr;
  long size = 0;
  int newType = 0;  // A_GIMME or A_NOTHING
  std::map<std::string, maxhost_method> methods;
  std::map<std::string, std::unique_ptr<maxhost_attribute>> attributes;
  bool dsp = false;
  bool registered = false;
};

// Per object: kept where Max keeps its inlet list (o_inlet), which the
// headless host has no other use for.
struct maxhost_object_info {
  long signalInlets = 0;
  std::vector<std::string> outlets;  // outlet types in creation order
};

namespace omber::maxhost::detail {
inline maxhost_class* classRecord(t_class* c) { return c ? static_cast<maxhost_class*>(c->c_extra) : nullptr; }
inline maxhost_class* classOf(const t_object* object) {
  return classRecord(reinterpret_cast<t_class*>(object->o_messlist[-1].m_sym));
}
inline maxhost_object_info* infoOf(const t_object* object) {
  return reinterpret_cast<maxhost_object_info*>(object->o_inlet);
}
}  // namespace omber::maxhost::detail

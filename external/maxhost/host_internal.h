// The headless host's records behind the Max API types. Internal to the
// host library.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "external/maxhost/max_api.h"

// Calls a stored `method` through its real signature.
template <typename Routine>
Routine routineAs(method m) {
  return reinterpret_cast<Routine>(reinterpret_cast<void (*)()>(m));
}

// One registered method: its routine and argument types (0-terminated).
struct maxhost_method {
  method routine = nullptr;
  std::vector<int> types;
};

// An attribute made by attr_offset_new. It is itself an object so that
// class_attr_get can hand it to attr_addfilter_clip.
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

struct t_class {
  std::string name;
  method newRoutine = nullptr;
  method freeRoutine = nullptr;
  long size = 0;
  std::vector<int> newTypes;
  std::map<std::string, maxhost_method> methods;
  std::map<std::string, std::unique_ptr<maxhost_attribute>> attributes;
  bool dsp = false;
  bool registered = false;
};

struct maxhost_object_info {
  long signalInlets = 0;
  std::vector<std::string> outlets;  // outlet types in creation order
};

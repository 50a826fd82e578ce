#include "external/maxhost/host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "external/maxhost/host_internal.h"
#include "external/maxhost/signal_chain.h"

namespace omber::maxhost {

namespace {

std::map<std::string, t_class*>& classes() {
  static std::map<std::string, t_class*> registry;
  return registry;
}

std::mutex& postLock() {
  static std::mutex lock;
  return lock;
}

PostHandler& postHandler() {
  static PostHandler handler;
  return handler;
}

const maxhost_method* findMethod(const t_object* object, const std::string& selector) {
  const auto& methods = detail::classOf(object)->methods;
  const auto found = methods.find(selector);
  return found == methods.end() ? nullptr : &found->second;
}

const maxhost_attribute* findAttribute(const t_object* object, const std::string& name) {
  const auto& attributes = detail::classOf(object)->attributes;
  const auto found = attributes.find(name);
  return found == attributes.end() ? nullptr : found->second.get();
}

}  // namespace

void setPostHandler(PostHandler handler) {
  std::lock_guard<std::mutex> guard(postLock());
  postHandler() = std::move(handler);
}

bool loadModule(const std::string& path, std::string& error) {
  // Like Max, each module's ext_main runs once per process.
  static std::set<std::string> loaded;
  if (loaded.count(path)) return true;
  using Entry = void (*)(void*);
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ext_main")));
  if (!entry) {
    error = path + " has no ext_main";
    FreeLibrary(module);
    return false;
  }
#else
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = dlerror();
    error = reason ? reason : "cannot load " + path;
    return false;
  }
  auto* entry = reinterpret_cast<Entry>(dlsym(module, "ext_main"));
  if (!entry) {
    error = path + " has no ext_main";
    dlclose(module);
    return false;
  }
#endif
  entry(nullptr);
  loaded.insert(path);
  return true;  // the module stays loaded for the life of the process
}

t_atom longAtom(t_atom_long value) {
  t_atom atom{};
  atom.a_type = A_LONG;
  atom.a_w.w_long = value;
  return atom;
}

t_atom floatAtom(double value) {
  t_atom atom{};
  atom.a_type = A_FLOAT;
  atom.a_w.w_float = value;
  return atom;
}

t_atom symbolAtom(const char* name) {
  t_atom atom{};
  atom.a_type = A_SYM;
  atom.a_w.w_sym = gensym(name);
  return atom;
}

std::vector<t_atom> parseAtoms(const std::string& text) {
  std::vector<t_atom> atoms;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    char* end = nullptr;
    const long long integer = std::strtoll(word.c_str(), &end, 10);
    if (end && *end == '\0') {
      atoms.push_back(longAtom(static_cast<t_atom_long>(integer)));
      continue;
    }
    const double number = std::strtod(word.c_str(), &end);
    if (end && *end == '\0') {
      atoms.push_back(floatAtom(number));
      continue;
    }
    atoms.push_back(symbolAtom(word.c_str()));
  }
  return atoms;
}

t_object* newObject(const std::string& className, std::vector<t_atom> args) {
  const auto found = classes().find(className);
  const maxhost_class* record = found == classes().end() ? nullptr : detail::classRecord(found->second);
  if (!record || !record->newRoutine || record->newType != A_GIMME) return nullptr;
  using New = void* (*)(t_symbol*, long, t_atom*);
  auto routine = routineAs<New>(record->newRoutine);
  return static_cast<t_object*>(routine(gensym(className.c_str()), static_cast<long>(args.size()), args.data()));
}

void freeObject(t_object* object) { object_free(object); }

bool sendMessage(t_object* object, const std::string& selector, std::vector<t_atom> args) {
  if (!object) return false;
  const maxhost_method* found = findMethod(object, selector);
  if (!found) return false;
  const std::vector<int>& types = found->types;
  if (types.empty()) {
    routineAs<void (*)(t_object*)>(found->routine)(object);
  } else if (types[0] == A_GIMME) {
    using Gimme = void (*)(t_object*, t_symbol*, long, t_atom*);
    routineAs<Gimme>(found->routine)(object, gensym(selector.c_str()), static_cast<long>(args.size()), args.data());
  } else if (types[0] == A_LONG) {
    const t_atom_long value = args.empty() ? 0 : atom_getlong(&args[0]);
    routineAs<void (*)(t_object*, t_atom_long)>(found->routine)(object, value);
  } else if (types[0] == A_FLOAT) {
    const double value =
        args.empty() ? 0.0
                     : (args[0].a_type == A_FLOAT ? args[0].a_w.w_float : static_cast<double>(atom_getlong(&args[0])));
    routineAs<void (*)(t_object*, double)>(found->routine)(object, value);
  } else {
    return false;  // private (A_CANT) methods are not messages
  }
  return true;
}

bool setAttribute(t_object* object, const std::string& name, std::vector<t_atom> values) {
  return object && detail::setAttribute(object, name.c_str(), static_cast<long>(values.size()), values.data());
}

bool getAttributeLong(const t_object* object, const std::string& name, t_atom_long& value) {
  const maxhost_attribute* attribute = object ? findAttribute(object, name) : nullptr;
  if (!attribute) return false;
  const char* field = reinterpret_cast<const char*>(object) + attribute->offset;
  if (attribute->type == gensym("long")) {
    long stored = 0;
    std::memcpy(&stored, field, sizeof stored);
    value = stored;
  } else if (attribute->type == gensym("atom_long")) {
    std::memcpy(&value, field, sizeof value);
  } else {
    return false;
  }
  return true;
}

bool attributeField(const t_object* object, const std::string& name, long& offset, std::size_t& width) {
  const maxhost_attribute* attribute = object ? findAttribute(object, name) : nullptr;
  if (!attribute) return false;
  offset = attribute->offset;
  if (attribute->type == gensym("long")) {
    width = sizeof(long);
  } else if (attribute->type == gensym("atom_long")) {
    width = sizeof(t_atom_long);
  } else {
    return false;
  }
  return true;
}

std::string assist(t_object* object, bool inlet, long index) {
  const maxhost_method* found = object ? findMethod(object, "assist") : nullptr;
  if (!found) return {};
  char text[256] = {0};
  using Assist = void (*)(t_object*, void*, long, long, char*);
  routineAs<Assist>(found->routine)(object, nullptr, inlet ? ASSIST_INLET : ASSIST_OUTLET, index, text);
  text[sizeof text - 1] = '\0';
  return text;
}

long signalInlets(const t_object* object) { return object ? detail::infoOf(object)->signalInlets : 0; }

long signalOutlets(const t_object* object) {
  if (!object) return 0;
  const auto& outlets = detail::infoOf(object)->outlets;
  return static_cast<long>(std::count(outlets.begin(), outlets.end(), "signal"));
}

std::vector<std::string> outletTypes(const t_object* object) {
  return object ? detail::infoOf(object)->outlets : std::vector<std::string>();
}

std::vector<std::string> attributeNames(const t_object* object) {
  std::vector<std::string> names;
  if (object) {
    for (const auto& entry : detail::classOf(object)->attributes) names.push_back(entry.first);
  }
  return names;
}

std::vector<std::string> messageNames(const t_object* object) {
  std::vector<std::string> names;
  if (object) {
    for (const auto& [name, m] : detail::classOf(object)->methods) {
      if (m.types.empty() || m.types[0] != A_CANT) names.push_back(name);
    }
  }
  return names;
}

namespace detail {

bool registerClass(t_class* c) { return classes().emplace(classRecord(c)->name, c).second; }

bool setAttribute(t_object* object, const char* name, long argc, const t_atom* argv) {
  const maxhost_attribute* attribute = findAttribute(object, name);
  if (!attribute || argc < 1) return false;
  // Integer attributes only (omber~ has no others). Like Max, a "long"
  // attribute is a C long in the object (4 bytes on Windows x64) and an
  // "atom_long" one a t_atom_long.
  const bool cLong = attribute->type == gensym("long");
  if (!cLong && attribute->type != gensym("atom_long")) return false;
  double number = static_cast<double>(atom_getlong(&argv[0]));
  if (attribute->clipMin) number = std::max(number, attribute->min);
  if (attribute->clipMax) number = std::min(number, attribute->max);
  t_atom value = longAtom(static_cast<t_atom_long>(number));
  if (attribute->setter) {
    using Setter = t_max_err (*)(t_object*, void*, long, t_atom*);
    routineAs<Setter>(attribute->setter)(object, const_cast<maxhost_attribute*>(attribute), 1, &value);
  } else if (cLong) {
    const long stored = static_cast<long>(value.a_w.w_long);
    std::memcpy(reinterpret_cast<char*>(object) + attribute->offset, &stored, sizeof stored);
  } else {
    std::memcpy(reinterpret_cast<char*>(object) + attribute->offset, &value.a_w.w_long, sizeof(t_atom_long));
  }
  return true;
}

void post(t_object* poster, const char* text) {
  std::lock_guard<std::mutex> guard(postLock());
  if (postHandler()) {
    postHandler()(poster, text);
    return;
  }
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace detail

}  // namespace omber::maxhost

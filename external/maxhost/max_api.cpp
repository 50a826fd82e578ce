// The headless host's implementation of the Max API declared in max_api.h:
// a class registry, objects, attributes with clip filters, messages and the
// console on standard output.
//
// Registration and object creation run on the host's main thread; gensym
// and object_post may be called from any thread (they take a lock, so never
// from the audio thread).
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <map>
#include <string>

#include "external/maxhost/host.h"
#include "external/maxhost/host_internal.h"

namespace {

std::vector<int> readTypes(va_list args) {
  std::vector<int> types;
  for (int type = va_arg(args, int); type != 0; type = va_arg(args, int)) types.push_back(type);
  return types;
}

std::mutex& symbolLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

extern "C" {

t_class* class_new(const char* name, method mnew, method mfree, long size, method, int type, ...) {
  auto* c = new t_class;
  c->name = name;
  c->newRoutine = mnew;
  c->freeRoutine = mfree;
  c->size = size;
  if (type != 0) {
    va_list args;
    va_start(args, type);
    c->newTypes = readTypes(args);
    c->newTypes.insert(c->newTypes.begin(), type);
    va_end(args);
  }
  return c;
}

t_max_err class_addmethod(t_class* c, method m, const char* name, ...) {
  if (!c || !m || !name) return MAX_ERR_INVALID_PTR;
  va_list args;
  va_start(args, name);
  c->methods[name] = maxhost_method{m, readTypes(args)};
  va_end(args);
  return MAX_ERR_NONE;
}

t_object* attr_offset_new(const char* name, t_symbol* type, long, method mget, method mset, long offset) {
  auto* attribute = new maxhost_attribute;
  attribute->name = name;
  attribute->type = type;
  attribute->getter = mget;
  attribute->setter = mset;
  attribute->offset = offset;
  return &attribute->header;
}

t_max_err class_addattr(t_class* c, t_object* attr) {
  if (!c || !attr) return MAX_ERR_INVALID_PTR;
  auto* attribute = reinterpret_cast<maxhost_attribute*>(attr);
  c->attributes[attribute->name].reset(attribute);
  return MAX_ERR_NONE;
}

t_object* class_attr_get(t_class* c, t_symbol* attrname) {
  if (!c || !attrname) return nullptr;
  const auto found = c->attributes.find(attrname->s_name);
  return found == c->attributes.end() ? nullptr : &found->second->header;
}

t_max_err attr_addfilter_clip(void* attr, double min, double max, long usemin, long usemax) {
  if (!attr) return MAX_ERR_INVALID_PTR;
  auto* attribute = static_cast<maxhost_attribute*>(attr);
  attribute->min = min;
  attribute->max = max;
  attribute->clipMin = usemin != 0;
  attribute->clipMax = usemax != 0;
  return MAX_ERR_NONE;
}

t_max_err class_register(t_symbol*, t_class* c) {
  if (!c) return MAX_ERR_INVALID_PTR;
  c->registered = true;
  return omber::maxhost::detail::registerClass(c) ? MAX_ERR_NONE : MAX_ERR_GENERIC;
}

void class_dspinit(t_class* c) {
  if (c) c->dsp = true;
}

t_symbol* gensym(const char* s) {
  // Symbols live for the whole process and compare by pointer; the map's
  // keys never move, so s_name can point into them.
  static std::map<std::string, t_symbol> symbols;
  std::lock_guard<std::mutex> guard(symbolLock());
  const auto [entry, added] = symbols.try_emplace(s ? s : "");
  if (added) entry->second = t_symbol{entry->first.c_str(), nullptr};
  return &entry->second;
}

void* object_alloc(t_class* c) {
  if (!c || c->size < static_cast<long>(sizeof(t_object))) return nullptr;
  auto* object = static_cast<t_object*>(std::calloc(1, static_cast<std::size_t>(c->size)));
  if (!object) return nullptr;
  object->o_class = c;
  object->o_info = new maxhost_object_info;
  return object;
}

t_max_err object_free(void* x) {
  if (!x) return MAX_ERR_INVALID_PTR;
  auto* object = static_cast<t_object*>(x);
  if (object->o_class->freeRoutine) routineAs<void (*)(void*)>(object->o_class->freeRoutine)(x);
  delete object->o_info;
  std::free(x);
  return MAX_ERR_NONE;
}

void* outlet_new(void* x, const char* type) {
  if (!x) return nullptr;
  auto* info = static_cast<t_object*>(x)->o_info;
  info->outlets.emplace_back(type ? type : "");
  return info;  // an opaque, non-null outlet handle
}

t_max_err attr_args_process(void* x, short ac, t_atom* av) {
  // "@name value..." pairs; atoms before the first "@" are creation
  // arguments, not attributes.
  short i = 0;
  while (i < ac && !(av[i].a_type == A_SYM && av[i].a_w.w_sym->s_name[0] == '@')) ++i;
  while (i < ac) {
    const char* name = av[i].a_w.w_sym->s_name + 1;
    short end = static_cast<short>(i + 1);
    while (end < ac && !(av[end].a_type == A_SYM && av[end].a_w.w_sym->s_name[0] == '@')) ++end;
    omber::maxhost::detail::setAttribute(static_cast<t_object*>(x), name, end - i - 1, av + i + 1);
    i = end;
  }
  return MAX_ERR_NONE;
}

void* object_method(void* x, t_symbol* s, ...) {
  if (!x || !s) return nullptr;
  auto* object = static_cast<t_object*>(x);
  const auto found = object->o_class->methods.find(s->s_name);
  if (found == object->o_class->methods.end()) return nullptr;
  // The host only calls private methods this way, each with four
  // pointer-sized arguments (integers passed as long).
  va_list args;
  va_start(args, s);
  void* a = va_arg(args, void*);
  void* b = va_arg(args, void*);
  void* c = va_arg(args, void*);
  void* d = va_arg(args, void*);
  va_end(args);
  using Four = void* (*)(void*, void*, void*, void*, void*);
  return routineAs<Four>(found->second.routine)(x, a, b, c, d);
}

void object_post(t_object* x, const char* s, ...) {
  char text[2048];
  va_list args;
  va_start(args, s);
  std::vsnprintf(text, sizeof text, s, args);
  va_end(args);
  omber::maxhost::detail::post(x, text);
}

t_atom_long atom_getlong(const t_atom* a) {
  if (!a) return 0;
  switch (a->a_type) {
    case A_LONG:
      return a->a_w.w_long;
    case A_FLOAT: {
      // Truncates toward zero; out-of-range values saturate, NaN reads as 0.
      const double value = a->a_w.w_float;
      if (std::isnan(value)) return 0;
      if (value >= 9.2e18) return INTPTR_MAX;
      if (value <= -9.2e18) return INTPTR_MIN;
      return static_cast<t_atom_long>(value);
    }
    default:
      return 0;
  }
}

void z_dsp_setup(t_pxobject* x, long nsignals) {
  if (!x) return;
  x->z_in = nsignals;
  x->z_ob.o_info->signalInlets = nsignals;
}

void z_dsp_free(t_pxobject* x) {
  if (x) omber::maxhost::detail::dspFree(&x->z_ob);
}

}  // extern "C"

// The headless host's implementation of the MaxAPI functions omber~ calls,
// defined against the SDK's own declarations: a class registry, objects,
// attributes with clip filters, messages and the console on standard output.
//
// Registration and object creation run on the host's main thread; gensym
// and object_post may be called from any thread (they take a lock, so never
// from the audio thread).
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "external/maxhost/host.h"
#include "external/maxhost/host_internal.h"

using omber::maxhost::detail::classOf;
using omber::maxhost::detail::classRecord;
using omber::maxhost::detail::infoOf;

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

// Only the first creation type is kept: the host creates A_GIMME classes
// (every argument as atoms) and classes without arguments. The type is a
// `short`, so the rest of the list cannot portably be read with va_start.
t_class* class_new(C74_CONST char* name, C74_CONST method mnew, C74_CONST method mfree, long size, C74_CONST method,
                   short type, ...) {
  if (!name) return nullptr;
  auto* record = new maxhost_class;
  record->name = name;
  record->newRoutine = mnew;
  record->freeRoutine = mfree;
  record->size = size;
  record->newType = type;
  record->sdk.c_sym = gensym(name);
  record->sdk.c_freefun = mfree;
  record->sdk.c_size = static_cast<t_getbytes_size>(size);
  record->sdk.c_extra = record;
  record->messages[0].m_sym = reinterpret_cast<t_symbol*>(&record->sdk);
  return &record->sdk;
}

t_max_err class_addmethod(t_class* c, C74_CONST method m, C74_CONST char* name, ...) {
  maxhost_class* record = classRecord(c);
  if (!record || !m || !name) return MAX_ERR_INVALID_PTR;
  va_list args;
  va_start(args, name);
  record->methods[name] = maxhost_method{m, readTypes(args)};
  va_end(args);
  return MAX_ERR_NONE;
}

t_object* attr_offset_new(C74_CONST char* name, C74_CONST t_symbol* type, long, C74_CONST method mget,
                          C74_CONST method mset, long offset) {
  if (!name || !type) return nullptr;
  auto* attribute = new maxhost_attribute;
  attribute->name = name;
  attribute->type = const_cast<t_symbol*>(type);
  attribute->getter = mget;
  attribute->setter = mset;
  attribute->offset = offset;
  return &attribute->header;
}

t_max_err class_addattr(t_class* c, t_object* attr) {
  maxhost_class* record = classRecord(c);
  if (!record || !attr) return MAX_ERR_INVALID_PTR;
  auto* attribute = reinterpret_cast<maxhost_attribute*>(attr);
  record->attributes[attribute->name].reset(attribute);
  return MAX_ERR_NONE;
}

void* class_attr_get(t_class* c, t_symbol* attrname) {
  maxhost_class* record = classRecord(c);
  if (!record || !attrname) return nullptr;
  const auto found = record->attributes.find(attrname->s_name);
  return found == record->attributes.end() ? nullptr : &found->second->header;
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
  maxhost_class* record = classRecord(c);
  if (!record) return MAX_ERR_INVALID_PTR;
  record->registered = true;
  return omber::maxhost::detail::registerClass(c) ? MAX_ERR_NONE : MAX_ERR_GENERIC;
}

t_symbol* gensym(C74_CONST char* s) {
  // Symbols live for the whole process and compare by pointer; the map's
  // keys never move, so s_name can point into them.
  static std::map<std::string, t_symbol> symbols;
  std::lock_guard<std::mutex> guard(symbolLock());
  const auto [entry, added] = symbols.try_emplace(s ? s : "");
  if (added) {
    entry->second.s_name = const_cast<char*>(entry->first.c_str());
    entry->second.s_thing = nullptr;
  }
  return &entry->second;
}

// Like Max, the new object's bytes are zero past the header.
void* object_alloc(t_class* c) {
  maxhost_class* record = classRecord(c);
  if (!record || record->size < static_cast<long>(sizeof(t_object))) return nullptr;
  auto* object = static_cast<t_object*>(std::calloc(1, static_cast<std::size_t>(record->size)));
  if (!object) return nullptr;
  object->o_messlist = &record->messages[1];
  object->o_magic = OB_MAGIC;
  object->o_inlet = reinterpret_cast<t_inlet*>(new maxhost_object_info);
  return object;
}

t_max_err object_free(void* x) {
  if (!x) return MAX_ERR_INVALID_PTR;
  auto* object = static_cast<t_object*>(x);
  if (object->o_magic != OB_MAGIC) return MAX_ERR_INVALID_PTR;
  const maxhost_class* record = classOf(object);
  if (record->freeRoutine) routineAs<void (*)(void*)>(record->freeRoutine)(x);
  delete infoOf(object);
  object->o_magic = 0;
  std::free(x);
  return MAX_ERR_NONE;
}

void* outlet_new(void* x, C74_CONST char* type) {
  if (!x) return nullptr;
  maxhost_object_info* info = infoOf(static_cast<t_object*>(x));
  info->outlets.emplace_back(type ? type : "");
  return info;  // an opaque, non-null outlet handle
}

void attr_args_process(void* x, short ac, t_atom* av) {
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
}

// object_method() is the SDK's macro over this: every argument arrives as a
// pointer-sized word. The routine gets them all, as Max passes them.
void* object_method_imp(void* x, void* s, void* p1, void* p2, void* p3, void* p4, void* p5, void* p6, void* p7,
                        void* p8) {
  if (!x || !s) return nullptr;
  auto* object = static_cast<t_object*>(x);
  const maxhost_class* record = classOf(object);
  const auto found = record->methods.find(static_cast<t_symbol*>(s)->s_name);
  if (found == record->methods.end()) return nullptr;
  using Eight = void* (*)(void*, void*, void*, void*, void*, void*, void*, void*, void*);
  return routineAs<Eight>(found->second.routine)(x, p1, p2, p3, p4, p5, p6, p7, p8);
}

void object_post(t_object* x, C74_CONST char* s, ...) {
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
    case A_LONG: return a->a_w.w_long;
    case A_FLOAT: {
      // Truncates toward zero; out-of-range values saturate, NaN reads as 0.
      const double value = a->a_w.w_float;
      if (std::isnan(value)) return 0;
      if (value >= 9.2e18) return INTPTR_MAX;
      if (value <= -9.2e18) return INTPTR_MIN;
      return static_cast<t_atom_long>(value);
    }
    default: return 0;
  }
}

}  // extern "C"

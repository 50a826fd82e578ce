// Our declarations of the Max API and Max audio API that omber~ uses, for
// building and running it without Max. The headless host library
// (external/maxhost) implements them. With OMBER_MAX_SDK_DIR set the build
// uses the real SDK headers instead (see external/max/max_sdk.h).
//
// Only what omber~ and its host need is declared; the shapes follow the
// calls omber~ makes (variadic type lists ended by 0, method pointers cast
// to `method`, attributes addressed by byte offset).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define C74_EXPORT __declspec(dllexport)
#else
#define C74_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

typedef std::intptr_t t_atom_long;
typedef double t_atom_float;
typedef long t_max_err;
typedef void* (*method)(void*, ...);

enum { MAX_ERR_NONE = 0, MAX_ERR_GENERIC = -1, MAX_ERR_INVALID_PTR = -2 };

// Argument types of methods and creation routines. A list ends with 0.
enum e_max_atomtypes {
  A_NOTHING = 0,
  A_LONG = 1,
  A_FLOAT = 2,
  A_SYM = 3,
  A_OBJ = 4,
  A_GIMME = 8,
  A_CANT = 9,  // private: called only through object_method
};

struct t_symbol {
  const char* s_name;
  void* s_thing;
};

struct t_atom {
  short a_type;
  union {
    t_atom_long w_long;
    t_atom_float w_float;
    t_symbol* w_sym;
    void* w_obj;
  } a_w;
};

struct t_class;
struct maxhost_object_info;  // the host's bookkeeping per object

struct t_object {
  t_class* o_class;
  maxhost_object_info* o_info;
};

// The header of a signal object.
struct t_pxobject {
  t_object z_ob;
  long z_in;
  void* z_proxy;
  long z_disabled;
  short z_count;
  short z_misc;
};

enum { Z_NO_INPLACE = 1, Z_PUT_LAST = 2, Z_PUT_FIRST = 4 };
enum { ASSIST_INLET = 1, ASSIST_OUTLET = 2 };
enum { ATTR_FLAGS_NONE = 0 };

#define calcoffset(type, field) ((long)offsetof(type, field))
#define CLASS_BOX gensym("box")

// The first argument type is an int here (not short) so that the host can
// read the rest of the list portably.
t_class* class_new(const char* name, method mnew, method mfree, long size, method mmenu, int type, ...);
t_max_err class_addmethod(t_class* c, method m, const char* name, ...);
t_max_err class_addattr(t_class* c, t_object* attr);
t_object* attr_offset_new(const char* name, t_symbol* type, long flags, method mget, method mset, long offset);
t_object* class_attr_get(t_class* c, t_symbol* attrname);
t_max_err attr_addfilter_clip(void* attr, double min, double max, long usemin, long usemax);
t_max_err class_register(t_symbol* name_space, t_class* c);
void class_dspinit(t_class* c);

t_symbol* gensym(const char* s);
void* object_alloc(t_class* c);
// Calls the class's free routine, then releases the object.
t_max_err object_free(void* x);
void* outlet_new(void* x, const char* type);
t_max_err attr_args_process(void* x, short ac, t_atom* av);
void* object_method(void* x, t_symbol* s, ...);
void object_post(t_object* x, const char* s, ...);
t_atom_long atom_getlong(const t_atom* a);

void z_dsp_setup(t_pxobject* x, long nsignals);
void z_dsp_free(t_pxobject* x);

}  // extern "C"

// The Node-API module entry of omber-core: `dispatch(selector, ...args)` and
// `onOutlet(fn)`. This file only converts values between JavaScript and
// Atoms and holds the module state (the callback and the one Engine); every
// decision is made by the engine.
//
// Everything here runs on the host's JavaScript thread. Outlet messages are
// delivered synchronously, while dispatch is still running.
#include <napi.h>

#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "core/engine/engine.h"

namespace {

// One per loaded module (per Node environment).
struct ModuleState {
  napi_env env = nullptr;
  Napi::FunctionReference callback;  // strong reference, empty until onOutlet
  std::unique_ptr<omber::engine::Engine> engine;
  // Argument lists reused from call to call, one per nesting depth (a
  // callback may dispatch again); a deque keeps them in place as it grows.
  std::deque<omber::base::Atoms> argumentPool;
  std::size_t depth = 0;

  // At unload the engine goes first (its teardown sends nothing), then the
  // reference to the callback is released.
  ~ModuleState() {
    engine.reset();
    callback.Reset();
  }
};

// Throws the pending JavaScript exception, or an error describing the
// failed Node-API call, when status is not ok.
void check(napi_env env, napi_status status) {
  if (status != napi_ok) throw Napi::Error::New(env);
}

// UTF-8 of a JavaScript string into out. Short strings need one Node-API call.
void readUtf8(napi_env env, napi_value string, std::string& out) {
  char stackBuffer[128];
  std::size_t length = 0;
  check(env, napi_get_value_string_utf8(env, string, stackBuffer, sizeof stackBuffer, &length));
  // The writer stops before a character (up to 4 bytes) that does not fit,
  // so only a text well short of the buffer is known to be whole.
  if (length + 4 < sizeof stackBuffer) {
    out.assign(stackBuffer, length);
    return;
  }
  // Possibly cut off: ask for the full length, then copy once more.
  check(env, napi_get_value_string_utf8(env, string, nullptr, 0, &length));
  out.resize(length);
  check(env, napi_get_value_string_utf8(env, string, out.data(), length + 1, &length));
  out.resize(length);
}

// The language's own string conversion, read as UTF-8; a symbol throws.
void readText(napi_env env, napi_value value, napi_valuetype type, std::string& out) {
  if (type != napi_string) check(env, napi_coerce_to_string(env, value, &value));
  readUtf8(env, value, out);
}

std::size_t elementSize(napi_env env, napi_typedarray_type type) {
  switch (type) {
    case napi_int8_array:
    case napi_uint8_array:
    case napi_uint8_clamped_array: return 1;
    case napi_int16_array:
    case napi_uint16_array:
#ifdef NODE_API_HAS_FLOAT16_ARRAY
    case napi_float16_array:
#endif
      return 2;
    case napi_int32_array:
    case napi_uint32_array:
    case napi_float32_array: return 4;
    case napi_float64_array:
    case napi_bigint64_array:
    case napi_biguint64_array: return 8;
  }
  throw Napi::Error::New(env, "dispatch: unsupported typed array element type");
}

// One further dispatch argument into a reused atom: a buffer or typed array
// (the host's buffer test: any view of an ArrayBuffer) gives bytes, a number
// gives a number, everything else its string conversion. The fields that do
// not belong to the kind are emptied; their storage is kept for the next call.
void readAtom(napi_env env, napi_value value, omber::base::Atom& atom) {
  napi_valuetype type;
  check(env, napi_typeof(env, value, &type));
  if (type == napi_number) {
    atom.kind = omber::base::Atom::Number;
    check(env, napi_get_value_double(env, value, &atom.number));
    atom.text.clear();
    atom.bytes.clear();
    return;
  }
  if (type == napi_object) {
    napi_typedarray_type arrayType;
    std::size_t length = 0;
    void* data = nullptr;
    if (napi_get_typedarray_info(env, value, &arrayType, &length, &data, nullptr, nullptr) == napi_ok) {
      const auto* bytes = static_cast<const std::uint8_t*>(data);
      const std::size_t size = bytes ? length * elementSize(env, arrayType) : 0;
      atom.kind = omber::base::Atom::Bytes;
      atom.bytes.assign(bytes, bytes + size);
      atom.number = 0.0;
      atom.text.clear();
      return;
    }
    bool isDataView = false;
    check(env, napi_is_dataview(env, value, &isDataView));
    if (isDataView) {
      throw Napi::TypeError::New(env, "dispatch: a DataView cannot be an argument; pass a Buffer or typed array");
    }
  }
  atom.kind = omber::base::Atom::Text;
  readText(env, value, type, atom.text);
  atom.number = 0.0;
  atom.bytes.clear();
}

// Counts the nesting depth of dispatch for the scope of one call.
class DepthGuard {
 public:
  explicit DepthGuard(std::size_t& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  std::size_t& depth_;
};

// Storage an argument list may keep between calls; one large message must
// not pin its memory for the rest of the session.
constexpr std::size_t kKeptBytes = 1 << 16;

void releaseLargeStorage(omber::base::Atoms& atoms) {
  for (omber::base::Atom& atom : atoms) {
    if (atom.bytes.capacity() > kKeptBytes) std::vector<std::uint8_t>().swap(atom.bytes);
    if (atom.text.capacity() > kKeptBytes) std::string().swap(atom.text);
  }
}

napi_value jsValueOf(napi_env env, const omber::base::Atom& atom) {
  napi_value value = nullptr;
  switch (atom.kind) {
    case omber::base::Atom::Number: napi_create_double(env, atom.number, &value); break;
    case omber::base::Atom::Bytes:
      napi_create_buffer_copy(env, atom.bytes.size(), atom.bytes.data(), nullptr, &value);
      break;
    default: napi_create_string_utf8(env, atom.text.data(), atom.text.size(), &value);
  }
  return value;
}

// Arguments of one JavaScript call, selector included, that a message may
// have. Node's default stack carries about 125,000 (measured by calling the
// callback with ever more atoms); beyond that the call fails with a
// RangeError before the callback runs. The cap leaves room for the stack a
// nested dispatch has already used.
constexpr std::size_t kMaxCallArguments = 100000;

void callCallback(ModuleState& state, std::size_t argc, napi_value* argv);

// A message too large for one call is not delivered; the callback hears
// "core:error" with a short text instead of nothing at all.
void reportUndeliverable(ModuleState& state, const std::string& selector, std::size_t atomCount) {
  const std::string name = selector.size() > 64 ? selector.substr(0, 64) + "..." : selector;
  const std::string text = "outlet \"" + name + "\" not delivered: " + std::to_string(atomCount) +
                           " atoms, more than " + std::to_string(kMaxCallArguments) + " in one call";
  napi_env env = state.env;
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  napi_value argv[2];
  if (napi_create_string_utf8(env, "core:error", NAPI_AUTO_LENGTH, &argv[0]) == napi_ok &&
      napi_create_string_utf8(env, text.data(), text.size(), &argv[1]) == napi_ok) {
    callCallback(state, 2, argv);
  }
  napi_close_handle_scope(env, scope);
}

// Calls the callback; an exception it throws is cleared.
void callCallback(ModuleState& state, std::size_t argc, napi_value* argv) {
  napi_env env = state.env;
  napi_value undefined;
  if (napi_get_undefined(env, &undefined) != napi_ok) return;
  napi_value result;
  if (napi_call_function(env, undefined, state.callback.Value(), argc, argv, &result) != napi_ok) {
    bool pending = false;
    napi_is_exception_pending(env, &pending);
    if (pending) {
      napi_value ignored;
      napi_get_and_clear_last_exception(env, &ignored);
    }
  }
}

// The engine's outlet: calls the newest callback with the selector and one
// value per atom. A throwing callback is cleared here; a value that cannot be
// built leaves its exception pending, so that dispatch throws it.
void deliver(ModuleState& state, const std::string& selector, const omber::base::Atoms& atoms) {
  if (state.callback.IsEmpty()) return;
  if (atoms.size() + 1 > kMaxCallArguments) {
    reportUndeliverable(state, selector, atoms.size());
    return;
  }
  napi_env env = state.env;
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;

  constexpr std::size_t kStackArgs = 8;
  napi_value stackArgs[kStackArgs];
  std::vector<napi_value> heapArgs;
  const std::size_t argc = atoms.size() + 1;
  napi_value* argv = stackArgs;
  if (argc > kStackArgs) {
    heapArgs.resize(argc);
    argv = heapArgs.data();
  }

  bool built = napi_create_string_utf8(env, selector.data(), selector.size(), &argv[0]) == napi_ok;
  for (std::size_t i = 0; built && i < atoms.size(); ++i) {
    argv[i + 1] = jsValueOf(env, atoms[i]);
    built = argv[i + 1] != nullptr;
  }
  if (built) callCallback(state, argc, argv);
  napi_close_handle_scope(env, scope);
}

Napi::Value OnOutlet(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (info.Length() < 1 || !info[0].IsFunction()) {
    throw Napi::TypeError::New(env, "onOutlet(fn) requires a function");
  }
  auto& state = *static_cast<ModuleState*>(info.Data());
  state.callback = Napi::Persistent(info[0].As<Napi::Function>());  // releases the previous one
  state.env = env;
  if (!state.engine) {
    ModuleState* owner = &state;
    state.engine = std::make_unique<omber::engine::Engine>(
        [owner](const std::string& selector, const omber::base::Atoms& atoms) { deliver(*owner, selector, atoms); });
  }
  return env.Undefined();
}

// The selector: read straight into a stack buffer when it is a string short
// enough, as nearly every selector is; otherwise through the general path.
class Selector {
 public:
  Selector(napi_env env, napi_value value) {
    std::size_t length = 0;
    const napi_status status = napi_get_value_string_utf8(env, value, short_, sizeof short_, &length);
    if (status == napi_ok && length + 4 < sizeof short_) {  // see readUtf8 for the margin
      view_ = std::string_view(short_, length);
      return;
    }
    if (status != napi_ok && status != napi_string_expected) check(env, status);
    napi_valuetype type;
    check(env, napi_typeof(env, value, &type));
    readText(env, value, type, long_);
    view_ = long_;
  }
  Selector(const Selector&) = delete;  // the view points into this object
  Selector& operator=(const Selector&) = delete;
  std::string_view view() const { return view_; }

 private:
  char short_[64];
  std::string long_;
  std::string_view view_;
};

void DispatchMessage(napi_env env, ModuleState& state, std::size_t argc, const napi_value* argv) {
  if (state.argumentPool.size() <= state.depth) state.argumentPool.emplace_back();
  omber::base::Atoms& atoms = state.argumentPool[state.depth];
  DepthGuard nested(state.depth);

  const Selector selector(env, argv[0]);
  atoms.resize(argc - 1);
  for (std::size_t i = 1; i < argc; ++i) readAtom(env, argv[i], atoms[i - 1]);

  // Every argument is converted before the engine sees the message.
  state.engine->inlet(selector.view(), atoms);
  releaseLargeStorage(atoms);
}

// dispatch is a plain Node-API callback: it runs for every host event, and
// the wrapper of node-addon-api costs more than the work of a small message.
napi_value Dispatch(napi_env env, napi_callback_info info) {
  constexpr std::size_t kStackArgs = 8;
  std::size_t argc = kStackArgs;
  napi_value stackArgs[kStackArgs];
  void* data = nullptr;
  if (napi_get_cb_info(env, info, &argc, stackArgs, nullptr, &data) != napi_ok) return nullptr;
  auto& state = *static_cast<ModuleState*>(data);
  if (!state.engine || argc == 0) return nullptr;
  try {
    if (argc <= kStackArgs) {
      DispatchMessage(env, state, argc, stackArgs);
    } else {
      std::vector<napi_value> args(argc);
      check(env, napi_get_cb_info(env, info, &argc, args.data(), nullptr, nullptr));
      DispatchMessage(env, state, argc, args.data());
    }
  } catch (const Napi::Error& error) {
    error.ThrowAsJavaScriptException();
  } catch (const std::exception& error) {
    napi_throw_error(env, nullptr, error.what());
  } catch (...) {
    napi_throw_error(env, nullptr, "dispatch: a native exception was thrown");
  }
  return nullptr;
}

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  auto* state = new ModuleState();
  env.SetInstanceData(state);  // deleted when the environment is torn down
  napi_value dispatch;
  check(env, napi_create_function(env, "dispatch", NAPI_AUTO_LENGTH, Dispatch, state, &dispatch));
  exports.Set("dispatch", dispatch);
  exports.Set("onOutlet", Napi::Function::New(env, OnOutlet, "onOutlet", state));
  return exports;
}

}  // namespace

NODE_API_MODULE(omber_core, Init)

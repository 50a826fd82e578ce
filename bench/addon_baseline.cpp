// Baselines for the dispatch benchmark (bench/addon_dispatch.js), built only
// with OMBER_BUILD_BENCH=ON:
//   empty()                  an empty Node-API function: the floor of any call
//   deliver(fn, bytes)       calls fn("ext:write", "players", Buffer of that
//                            many bytes): the floor of one outlet message that
//                            carries a bytes atom back into JavaScript
#include <node_api.h>

#include <cstdint>
#include <vector>

namespace {

napi_value Empty(napi_env, napi_callback_info) { return nullptr; }

napi_value Deliver(napi_env env, napi_callback_info info) {
  static const std::vector<std::uint8_t> kBytes(1 << 20, 0x5a);
  std::size_t argc = 2;
  napi_value argv[2];
  napi_get_cb_info(env, info, &argc, argv, nullptr, nullptr);
  double size = 0;
  if (argc < 2 || napi_get_value_double(env, argv[1], &size) != napi_ok) return nullptr;
  if (size < 0 || size > static_cast<double>(kBytes.size())) size = 0;

  napi_handle_scope scope;
  napi_open_handle_scope(env, &scope);
  napi_value args[3];
  napi_create_string_utf8(env, "ext:write", NAPI_AUTO_LENGTH, &args[0]);
  napi_create_string_utf8(env, "players", NAPI_AUTO_LENGTH, &args[1]);
  napi_create_buffer_copy(env, static_cast<std::size_t>(size), kBytes.data(), nullptr, &args[2]);
  napi_value undefined, result;
  napi_get_undefined(env, &undefined);
  napi_call_function(env, undefined, argv[0], 3, args, &result);
  napi_close_handle_scope(env, scope);
  return nullptr;
}

napi_value Init(napi_env env, napi_value exports) {
  napi_value fn;
  napi_create_function(env, "empty", NAPI_AUTO_LENGTH, Empty, nullptr, &fn);
  napi_set_named_property(env, exports, "empty", fn);
  napi_create_function(env, "deliver", NAPI_AUTO_LENGTH, Deliver, nullptr, &fn);
  napi_set_named_property(env, exports, "deliver", fn);
  return exports;
}

}  // namespace

NAPI_MODULE(omber_bench_baseline, Init)

// The engine's JSON: one value type, a strict parser into it, and the small
// writers from which every outgoing document is assembled member by member
// (documents are never produced by serialising a value tree, so member order
// and number text are decided by the builders).
//
// Everything here is a pure function or a plain value: thread-safe on
// distinct objects, not realtime-safe (parsing and writing allocate).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace omber::base {

struct JsonMember;

// A read-only run of array elements or object members.
template <class T>
class JsonSpan {
 public:
  JsonSpan() = default;
  JsonSpan(const T* data, std::size_t size) : data_(data), size_(size) {}
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  const T* data_ = nullptr;
  std::size_t size_ = 0;
};

// One JSON value, owned by value (copies are deep), in 16 bytes: the kind,
// then a number, a switch, a string of up to 14 bytes in place, or the size
// and address of a longer string, of the elements or of the members, each
// allocated at exactly its size. A default-constructed value is Null; the
// accessors of another kind give 0, false or an empty view.
class JsonValue {
 public:
  enum class Kind : std::uint8_t { Null, Bool, Number, String, Array, Object };

  JsonValue() noexcept { clearRaw(); }
  ~JsonValue() { release(); }
  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.clearRaw();
  }
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept;

  static JsonValue ofBool(bool value);
  static JsonValue ofNumber(double value);
  static JsonValue ofString(std::string_view bytes);
  // Take over `count` values (or members) from `first` on, which are left Null.
  static JsonValue ofArray(JsonValue* first, std::size_t count);
  static JsonValue ofObject(JsonMember* first, std::size_t count);

  Kind kind() const { return static_cast<Kind>(raw_[0]); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isBool() const { return kind() == Kind::Bool; }
  bool isNumber() const { return kind() == Kind::Number; }
  bool isString() const { return kind() == Kind::String; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isObject() const { return kind() == Kind::Object; }

  bool boolean() const { return isBool() && raw_[8] != 0; }
  double number() const;
  std::string_view text() const;  // bytes as decoded, UTF-8 not validated
  JsonSpan<JsonValue> items() const;
  JsonSpan<JsonMember> members() const;  // in document order, duplicates kept

 private:
  // raw_[0] kind; strings: raw_[1] the length in place (0..14) or kLongText,
  // the bytes in place from raw_[2]; otherwise raw_[4..8) the count and
  // raw_[8..16) the number, the switch or the address.
  static constexpr std::uint8_t kLongText = 0xff;
  static constexpr std::size_t kInlineText = 14;

  void clearRaw() { std::memset(raw_, 0, sizeof raw_); }
  void release() noexcept;
  std::uint32_t count() const;
  void* address() const;
  void setCountAndAddress(Kind kind, std::uint32_t count, void* address);

  alignas(8) unsigned char raw_[16];
};

struct JsonMember {
  JsonValue name;  // a string
  JsonValue value;
  std::string_view key() const { return name.text(); }
};

static_assert(sizeof(JsonValue) == 16, "a JSON value is 16 bytes");

// The largest texts the engine parses, by origin, checked before parsing.
// Each is far above what such a text holds in practice (server messages and
// the LoRA catalog are kilobytes; a preset may carry two WAV clips as base64;
// a stored snapshot string inflates to at most 8 MiB).
constexpr std::size_t kMaxServerJsonBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxCatalogJsonBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxPresetJsonBytes = std::size_t{64} << 20;
constexpr std::size_t kMaxStoredStringBytes = std::size_t{16} << 20;

// Deepest nesting the parser accepts: a value at a depth above this fails.
// Bounds the parser's recursion, so hostile input cannot exhaust the stack.
constexpr int kJsonMaxDepth = 200;

// Parses one whole document. `out` is reset to Null first; on success it holds
// the value and the result is true, on failure it is Null and the result is
// false. Whitespace is space, tab, line feed and carriage return only.
// Numbers are converted correctly rounded, independent of the locale; too
// large magnitudes become infinities, too small ones zero or a denormal.
bool parseJson(std::string_view text, JsonValue& out);

// The first member named `key` (byte for byte) when `value` is an object;
// nullptr otherwise. The pointer lives as long as `value` is unchanged.
const JsonValue* find(const JsonValue& value, std::string_view key);

// Typed getters on an object member: nothing when the member is missing or of
// another kind (no conversion between kinds).
std::optional<double> optNumber(const JsonValue& value, std::string_view key);
std::optional<bool> optBool(const JsonValue& value, std::string_view key);
std::optional<std::string> optString(const JsonValue& value, std::string_view key);

// String escaping: `"` and `\` are escaped, 8/9/10/12/13 as \b \t \n \f \r,
// other bytes below 32 as \u00xx (lower-case hex); every other byte
// (including '/', 127 and bytes from 128) is copied unchanged.
std::string escapeJson(std::string_view bytes);
void appendEscapedJson(std::string& out, std::string_view bytes);
// A double quote, the escaped text, a double quote.
std::string quoteJson(std::string_view bytes);
void appendQuotedJson(std::string& out, std::string_view bytes);

// Writes one compact object member by member, in call order. Keys are written
// as given, without escaping: every key written this way is a fixed word of
// the protocol. Each member method returns the writer for chaining.
class JsonObjectWriter {
 public:
  JsonObjectWriter();

  JsonObjectWriter& string(std::string_view key, std::string_view value);
  JsonObjectWriter& number(std::string_view key, double value);  // formatNumber text
  JsonObjectWriter& integer(std::string_view key, std::int64_t value);
  JsonObjectWriter& boolean(std::string_view key, bool value);
  JsonObjectWriter& raw(std::string_view key, std::string_view json);  // text unchanged

  // Appends the closing brace and hands over the text; the writer is spent.
  std::string close();

 private:
  void beginMember(std::string_view key);

  std::string text_;
  bool first_ = true;
};

// `{"k1":raw1,"k2":raw2}` from (key, raw JSON text) pairs; keys are quoted and
// escaped, texts copied unchanged; no pairs give `{}`.
std::string jsonObjectFromRaw(const std::vector<std::pair<std::string, std::string>>& pairs);

// A tagged setting value: a number, a switch or a word.
struct JsonScalar {
  enum Kind : std::uint32_t { Number = 0, Bool = 1, String = 2 };

  Kind kind = Number;
  double number = 0.0;
  bool flag = false;
  std::string text;

  static JsonScalar ofNumber(double v) { return JsonScalar{Number, v, false, {}}; }
  static JsonScalar ofBool(bool v) { return JsonScalar{Bool, 0.0, v, {}}; }
  static JsonScalar ofString(std::string v) { return JsonScalar{String, 0.0, false, std::move(v)}; }
};

// formatNumber, `true`/`false`, or a quoted escaped string.
std::string scalarToJson(const JsonScalar& value);
void appendScalarJson(std::string& out, const JsonScalar& value);
// An object of (key, scalar) pairs in list order, keys quoted and escaped;
// `{}` when empty.
std::string jsonObjectFromScalars(const std::vector<std::pair<std::string, JsonScalar>>& pairs);

}  // namespace omber::base

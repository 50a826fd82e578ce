#include "core/base/json.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>

#include "core/base/number_text.h"

namespace omber::base {
namespace {

// The end of the run of bytes that need no escaping: the first quote,
// backslash or control byte at or after p, or end.
const char* plainRunEnd(const char* p, const char* end) {
  while (p < end) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\' || c < 0x20) break;
    ++p;
  }
  return p;
}

int hexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Elements and members are gathered on these stacks, shared by all nesting
// levels, and moved into an allocation of exactly their count when their
// container closes. The stacks (and the buffer for strings with escapes)
// live per thread and keep their capacity between documents up to a bound.
struct Scratch {
  std::vector<JsonValue> items;
  std::vector<JsonMember> members;
  std::string text;

  void trim() {
    items.clear();
    members.clear();
    text.clear();
    constexpr std::size_t kKeep = 1024;
    if (items.capacity() > kKeep) std::vector<JsonValue>().swap(items);
    if (members.capacity() > kKeep) std::vector<JsonMember>().swap(members);
    if (text.capacity() > kKeep * 16) std::string().swap(text);
  }
};

// Recursive descent over [p_, end_). Every function returns false on the
// first error; the caller then discards whatever was built.
class Parser {
 public:
  Parser(const char* begin, const char* end, Scratch& scratch)
      : p_(begin), end_(end), items_(scratch.items), members_(scratch.members), text_(scratch.text) {}

  bool document(JsonValue& out) {
    skipWhitespace();
    if (!value(out, 0)) return false;
    skipWhitespace();
    return p_ == end_;
  }

 private:
  void skipWhitespace() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  bool literal(const char* word, std::size_t length) {
    if (static_cast<std::size_t>(end_ - p_) < length || std::memcmp(p_, word, length) != 0) return false;
    p_ += length;
    return true;
  }

  bool value(JsonValue& out, int depth) {
    if (depth > kJsonMaxDepth || p_ == end_) return false;
    switch (*p_) {
      case '"': return string(out);
      case '[': return array(out, depth);
      case '{': return object(out, depth);
      case 't': out = JsonValue::ofBool(true); return literal("true", 4);
      case 'f': out = JsonValue::ofBool(false); return literal("false", 5);
      case 'n': return literal("null", 4);
      default: {
        double number = 0.0;
        if (!this->number(number)) return false;
        out = JsonValue::ofNumber(number);
        return true;
      }
    }
  }

  // The shared shape of arrays and objects: the opening byte, then either
  // the closing byte at once or entries separated by commas up to it.
  template <class Entry>
  bool entries(char close, Entry entry) {
    ++p_;  // '[' or '{'
    skipWhitespace();
    if (p_ < end_ && *p_ == close) {
      ++p_;
      return true;
    }
    for (;;) {
      skipWhitespace();
      if (!entry()) return false;
      skipWhitespace();
      if (p_ == end_) return false;
      const char c = *p_++;
      if (c == close) return true;
      if (c != ',') return false;
    }
  }

  bool array(JsonValue& out, int depth) {
    const std::size_t base = items_.size();
    const bool ok = entries(']', [&] {
      // Parsed aside: a nested array grows the stack under it.
      JsonValue item;
      if (!value(item, depth + 1)) return false;
      items_.push_back(std::move(item));
      return true;
    });
    if (ok) out = JsonValue::ofArray(items_.data() + base, items_.size() - base);
    items_.resize(base);
    return ok;
  }

  bool object(JsonValue& out, int depth) {
    const std::size_t base = members_.size();
    const bool ok = entries('}', [&] {
      if (p_ == end_ || *p_ != '"') return false;
      // Parsed aside: a nested object grows the stack under it.
      JsonMember member;
      if (!string(member.name)) return false;
      skipWhitespace();
      if (p_ == end_ || *p_ != ':') return false;
      ++p_;
      skipWhitespace();
      if (!value(member.value, depth + 1)) return false;
      members_.push_back(std::move(member));
      return true;
    });
    if (ok) out = JsonValue::ofObject(members_.data() + base, members_.size() - base);
    members_.resize(base);
    return ok;
  }

  // Reads the four hex digits after "\u".
  bool hex4(std::uint32_t& unit) {
    if (end_ - p_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int d = hexDigit(static_cast<unsigned char>(p_[i]));
      if (d < 0) return false;
      unit = (unit << 4) | static_cast<std::uint32_t>(d);
    }
    p_ += 4;
    return true;
  }

  bool escape(std::string& out) {
    if (p_ == end_) return false;
    const char c = *p_++;
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': break;
      default: return false;
    }
    std::uint32_t unit;
    if (!hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // low half without a high half
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      std::uint32_t low;
      if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
      p_ += 2;
      if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + (((unit - 0xD800) << 10) | (low - 0xDC00));
    }
    appendUtf8(out, unit);
    return true;
  }

  // A string without escapes is taken straight from the text; one with
  // escapes is decoded into the reused buffer first.
  bool string(JsonValue& out) {
    ++p_;  // opening quote
    const char* start = p_;
    p_ = plainRunEnd(p_, end_);
    if (p_ == end_) return false;
    if (*p_ == '"') {
      out = JsonValue::ofString(std::string_view(start, static_cast<std::size_t>(p_ - start)));
      ++p_;
      return true;
    }
    text_.assign(start, static_cast<std::size_t>(p_ - start));
    for (;;) {
      if (p_ == end_) return false;
      const char c = *p_++;
      if (c == '"') break;
      if (c != '\\') return false;  // raw control byte
      if (!escape(text_)) return false;
      const char* run = p_;
      p_ = plainRunEnd(p_, end_);
      text_.append(run, static_cast<std::size_t>(p_ - run));
    }
    out = JsonValue::ofString(text_);
    return true;
  }

  bool digits() {
    const char* start = p_;
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    return p_ != start;
  }

  bool number(double& out) {
    const char* start = p_;
    if (*p_ == '-') ++p_;
    if (p_ == end_) return false;
    if (*p_ == '0') {
      ++p_;
    } else if (*p_ >= '1' && *p_ <= '9') {
      digits();
    } else {
      return false;
    }
    if (p_ < end_ && *p_ == '.') {
      ++p_;
      if (!digits()) return false;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (!digits()) return false;
    }
    out = decimalToDouble(std::string_view(start, static_cast<std::size_t>(p_ - start)));
    return true;
  }

  const char* p_;
  const char* end_;
  std::vector<JsonValue>& items_;     // elements of the arrays being parsed
  std::vector<JsonMember>& members_;  // members of the objects being parsed
  std::string& text_;                 // a string with escapes being decoded
};

const char kHex[] = "0123456789abcdef";

// `{"key":value,...}` with keys quoted and escaped; writeValue appends one value.
template <class Value, class WriteValue>
std::string objectOfPairs(const std::vector<std::pair<std::string, Value>>& pairs, WriteValue writeValue) {
  std::string out = "{";
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (i) out += ',';
    appendQuotedJson(out, pairs[i].first);
    out += ':';
    writeValue(out, pairs[i].second);
  }
  out += '}';
  return out;
}

}  // namespace

// ---- JsonValue ----

namespace {

// Raw storage for n objects of type T, freed by releaseStorage.
template <class T>
T* allocateStorage(std::size_t n) {
  return static_cast<T*>(::operator new(n * sizeof(T)));
}

void releaseStorage(void* p) { ::operator delete(p); }

std::uint32_t checkedCount(std::size_t n) {
  if (n > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("JSON value too large");
  return static_cast<std::uint32_t>(n);
}

}  // namespace

std::uint32_t JsonValue::count() const {
  std::uint32_t n;
  std::memcpy(&n, raw_ + 4, sizeof n);
  return n;
}

void* JsonValue::address() const {
  void* p;
  std::memcpy(&p, raw_ + 8, sizeof p);
  return p;
}

void JsonValue::setCountAndAddress(Kind k, std::uint32_t n, void* p) {
  clearRaw();
  raw_[0] = static_cast<unsigned char>(k);
  std::memcpy(raw_ + 4, &n, sizeof n);
  std::memcpy(raw_ + 8, &p, sizeof p);
}

void JsonValue::release() noexcept {
  switch (kind()) {
    case Kind::String:
      if (raw_[1] == kLongText) releaseStorage(address());
      break;
    case Kind::Array: {
      auto* items = static_cast<JsonValue*>(address());
      for (std::uint32_t i = 0, n = count(); i < n; ++i) items[i].~JsonValue();
      releaseStorage(items);
      break;
    }
    case Kind::Object: {
      auto* members = static_cast<JsonMember*>(address());
      for (std::uint32_t i = 0, n = count(); i < n; ++i) members[i].~JsonMember();
      releaseStorage(members);
      break;
    }
    default: break;
  }
  clearRaw();
}

JsonValue::JsonValue(const JsonValue& other) {
  clearRaw();
  switch (other.kind()) {
    case Kind::String: *this = ofString(other.text()); break;
    case Kind::Array: {
      const JsonSpan<JsonValue> from = other.items();
      auto* items = allocateStorage<JsonValue>(from.size());
      std::size_t built = 0;
      try {
        for (; built < from.size(); ++built) new (items + built) JsonValue(from[built]);
      } catch (...) {
        while (built > 0) items[--built].~JsonValue();
        releaseStorage(items);
        throw;
      }
      setCountAndAddress(Kind::Array, other.count(), items);
      break;
    }
    case Kind::Object: {
      const JsonSpan<JsonMember> from = other.members();
      auto* members = allocateStorage<JsonMember>(from.size());
      std::size_t built = 0;
      try {
        for (; built < from.size(); ++built) new (members + built) JsonMember(from[built]);
      } catch (...) {
        while (built > 0) members[--built].~JsonMember();
        releaseStorage(members);
        throw;
      }
      setCountAndAddress(Kind::Object, other.count(), members);
      break;
    }
    default: std::memcpy(raw_, other.raw_, sizeof raw_);
  }
}

JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) {
    JsonValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) {
    release();
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.clearRaw();
  }
  return *this;
}

JsonValue JsonValue::ofBool(bool value) {
  JsonValue v;
  v.raw_[0] = static_cast<unsigned char>(Kind::Bool);
  v.raw_[8] = value ? 1 : 0;
  return v;
}

JsonValue JsonValue::ofNumber(double value) {
  JsonValue v;
  v.raw_[0] = static_cast<unsigned char>(Kind::Number);
  std::memcpy(v.raw_ + 8, &value, sizeof value);
  return v;
}

JsonValue JsonValue::ofString(std::string_view bytes) {
  JsonValue v;
  if (bytes.size() <= kInlineText) {
    v.raw_[0] = static_cast<unsigned char>(Kind::String);
    v.raw_[1] = static_cast<unsigned char>(bytes.size());
    if (!bytes.empty()) std::memcpy(v.raw_ + 2, bytes.data(), bytes.size());
    return v;
  }
  const std::uint32_t n = checkedCount(bytes.size());
  char* text = allocateStorage<char>(n);
  std::memcpy(text, bytes.data(), n);
  v.setCountAndAddress(Kind::String, n, text);
  v.raw_[1] = kLongText;
  return v;
}

JsonValue JsonValue::ofArray(JsonValue* first, std::size_t n) {
  const std::uint32_t count = checkedCount(n);
  JsonValue* items = n ? allocateStorage<JsonValue>(n) : nullptr;
  for (std::size_t i = 0; i < n; ++i) new (items + i) JsonValue(std::move(first[i]));  // cannot throw
  JsonValue v;
  v.setCountAndAddress(Kind::Array, count, items);
  return v;
}

JsonValue JsonValue::ofObject(JsonMember* first, std::size_t n) {
  const std::uint32_t count = checkedCount(n);
  JsonMember* members = n ? allocateStorage<JsonMember>(n) : nullptr;
  for (std::size_t i = 0; i < n; ++i) new (members + i) JsonMember(std::move(first[i]));  // cannot throw
  JsonValue v;
  v.setCountAndAddress(Kind::Object, count, members);
  return v;
}

double JsonValue::number() const {
  if (!isNumber()) return 0.0;
  double d;
  std::memcpy(&d, raw_ + 8, sizeof d);
  return d;
}

std::string_view JsonValue::text() const {
  if (!isString()) return {};
  if (raw_[1] != kLongText) return std::string_view(reinterpret_cast<const char*>(raw_ + 2), raw_[1]);
  return std::string_view(static_cast<const char*>(address()), count());
}

JsonSpan<JsonValue> JsonValue::items() const {
  if (!isArray()) return {};
  return JsonSpan<JsonValue>(static_cast<const JsonValue*>(address()), count());
}

JsonSpan<JsonMember> JsonValue::members() const {
  if (!isObject()) return {};
  return JsonSpan<JsonMember>(static_cast<const JsonMember*>(address()), count());
}

// ---- parsing and lookup ----

bool parseJson(std::string_view text, JsonValue& out) {
  out = JsonValue();
  thread_local Scratch scratch;
  Parser parser(text.data(), text.data() + text.size(), scratch);
  bool ok = false;
  try {
    ok = parser.document(out);
  } catch (...) {
    // Out of memory: nothing of the document is kept.
    scratch.trim();
    out = JsonValue();
    throw;
  }
  scratch.trim();
  if (!ok) out = JsonValue();
  return ok;
}

const JsonValue* find(const JsonValue& value, std::string_view key) {
  if (!value.isObject()) return nullptr;
  for (const JsonMember& m : value.members()) {
    if (m.key() == key) return &m.value;
  }
  return nullptr;
}

std::optional<double> optNumber(const JsonValue& value, std::string_view key) {
  const JsonValue* v = find(value, key);
  if (!v || !v->isNumber()) return std::nullopt;
  return v->number();
}

std::optional<bool> optBool(const JsonValue& value, std::string_view key) {
  const JsonValue* v = find(value, key);
  if (!v || !v->isBool()) return std::nullopt;
  return v->boolean();
}

std::optional<std::string> optString(const JsonValue& value, std::string_view key) {
  const JsonValue* v = find(value, key);
  if (!v || !v->isString()) return std::nullopt;
  return std::string(v->text());
}

void appendEscapedJson(std::string& out, std::string_view bytes) {
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while (p < end) {
    const char* run = p;
    p = plainRunEnd(p, end);
    out.append(run, static_cast<std::size_t>(p - run));
    if (p == end) break;
    const auto c = static_cast<unsigned char>(*p++);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 12: out += "\\f"; break;
      case 13: out += "\\r"; break;
      default: {
        const char u[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.append(u, sizeof u);
      }
    }
  }
}

std::string escapeJson(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  appendEscapedJson(out, bytes);
  return out;
}

void appendQuotedJson(std::string& out, std::string_view bytes) {
  out += '"';
  appendEscapedJson(out, bytes);
  out += '"';
}

std::string quoteJson(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  appendQuotedJson(out, bytes);
  return out;
}

JsonObjectWriter::JsonObjectWriter() : text_("{") {}

void JsonObjectWriter::beginMember(std::string_view key) {
  if (!first_) text_ += ',';
  first_ = false;
  text_ += '"';
  text_.append(key.data(), key.size());
  text_ += "\":";
}

JsonObjectWriter& JsonObjectWriter::string(std::string_view key, std::string_view value) {
  beginMember(key);
  appendQuotedJson(text_, value);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::number(std::string_view key, double value) {
  beginMember(key);
  appendNumber(text_, value);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::integer(std::string_view key, std::int64_t value) {
  beginMember(key);
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  text_.append(buf, static_cast<std::size_t>(res.ptr - buf));
  return *this;
}

JsonObjectWriter& JsonObjectWriter::boolean(std::string_view key, bool value) {
  beginMember(key);
  text_ += value ? "true" : "false";
  return *this;
}

JsonObjectWriter& JsonObjectWriter::raw(std::string_view key, std::string_view json) {
  beginMember(key);
  text_.append(json.data(), json.size());
  return *this;
}

std::string JsonObjectWriter::close() {
  text_ += '}';
  return std::move(text_);
}

std::string jsonObjectFromRaw(const std::vector<std::pair<std::string, std::string>>& pairs) {
  return objectOfPairs(pairs, [](std::string& out, const std::string& raw) { out += raw; });
}

void appendScalarJson(std::string& out, const JsonScalar& value) {
  switch (value.kind) {
    case JsonScalar::Bool: out += value.flag ? "true" : "false"; break;
    case JsonScalar::String: appendQuotedJson(out, value.text); break;
    default: appendNumber(out, value.number); break;
  }
}

std::string scalarToJson(const JsonScalar& value) {
  std::string out;
  appendScalarJson(out, value);
  return out;
}

std::string jsonObjectFromScalars(const std::vector<std::pair<std::string, JsonScalar>>& pairs) {
  return objectOfPairs(pairs, appendScalarJson);
}

}  // namespace omber::base

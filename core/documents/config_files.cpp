#include "core/documents/config_files.h"

#include <random>

#include "core/base/text.h"

namespace omber::documents {
using namespace omber::base;
namespace {

constexpr std::string_view kJsonSuffix = ".json";

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

// The name of a well-formed reference, reserved device names included.
std::optional<std::string> referenceName(std::string_view text) {
  if (!isFileReference(text)) return std::nullopt;
  std::string_view rest = text.substr(5);
  if (rest.substr(0, kConfigsFolder.size()) != kConfigsFolder) return std::nullopt;
  rest.remove_prefix(kConfigsFolder.size());
  if (rest.empty() || rest.front() != '/') return std::nullopt;
  rest.remove_prefix(1);
  if (rest.size() < kJsonSuffix.size() + 1 || rest.substr(rest.size() - kJsonSuffix.size()) != kJsonSuffix) {
    return std::nullopt;
  }
  const std::string_view name = rest.substr(0, rest.size() - kJsonSuffix.size());
  for (const char c : name) {
    if (!isNameChar(c)) return std::nullopt;
  }
  if (name.find("..") != std::string_view::npos) return std::nullopt;
  return std::string(name);
}

}  // namespace

std::string liveSetFolderOf(std::string_view livePath) {
  const std::size_t separator = livePath.find_last_of("/\\");
  return separator == std::string_view::npos ? std::string() : std::string(livePath.substr(0, separator));
}

bool isReservedDeviceName(std::string_view name) {
  const std::string_view stem = name.substr(0, name.find('.'));
  std::string upper(stem);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

std::optional<std::string> parseConfigReference(std::string_view text) {
  std::optional<std::string> name = referenceName(text);
  if (name && isReservedDeviceName(*name)) return std::nullopt;
  return name;
}

std::optional<std::string> reservedConfigName(std::string_view text) {
  std::optional<std::string> name = referenceName(text);
  if (name && !isReservedDeviceName(*name)) return std::nullopt;
  return name;
}

std::string makeFileReference(std::string_view name) {
  std::string out = "file:";
  out += kConfigsFolder;
  out += '/';
  out += name;
  out += kJsonSuffix;
  return out;
}

std::string makeFilePath(std::string_view liveSetFolder, std::string_view name) {
  std::string out(liveSetFolder);
  out += '/';
  out += kConfigsFolder;
  out += '/';
  out += name;
  out += kJsonSuffix;
  return out;
}

std::string newConfigName() {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::random_device device;
  std::string name(12, '0');
  for (char& c : name) c = kDigits[device() % 16];
  return name;
}

}  // namespace omber::documents

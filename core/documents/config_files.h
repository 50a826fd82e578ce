// Where preset documents live: the Live Set folder, the configs folder
// inside it, file references ("file:Omber/configs/<name>.json") and their
// validation, file paths and new random names. The engine never touches the
// file system; it hands these paths to the host.
//
// Pure functions, thread-safe; newConfigName reads the system's random
// device. None is realtime-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace omber::documents {

// The folder of presets, relative to the Live Set folder; "/" separated on
// every system.
constexpr std::string_view kConfigsFolder = "Omber/configs";

// The folder of the Live Set file at `livePath`: the text before its last
// "/" or "\"; empty when there is no separator.
std::string liveSetFolderOf(std::string_view livePath);

// The config name of a file reference: "file:Omber/configs/<name>.json"
// where the name is one or more ASCII letters, digits, "-", "." or "_" and
// does not contain ".." nor is a reserved device name; nothing for any other
// text. Only such names reach a file path, so a stored reference can never
// leave the configs folder.
std::optional<std::string> parseConfigReference(std::string_view text);

// True for a name Windows keeps for a device (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9) in any letter case, alone or followed by "." and anything:
// no file of that name can be created there.
bool isReservedDeviceName(std::string_view name);

// The name of a reference that would be valid but for a reserved device
// name; nothing otherwise. Lets the callers say why a reference was refused.
std::optional<std::string> reservedConfigName(std::string_view text);

// "file:Omber/configs/<name>.json".
std::string makeFileReference(std::string_view name);
// "<folder>/Omber/configs/<name>.json".
std::string makeFilePath(std::string_view liveSetFolder, std::string_view name);

// 12 lower-case hexadecimal digits, each drawn from the system's random
// device. Also names exported audio files.
std::string newConfigName();

}  // namespace omber::documents

#pragma once

#include <expected>
#include <filesystem>
#include <string>

#include "platform/Types.h"

// The XDG desktop-entry text that starts a program, as session managers read
// it from the autostart folder.
namespace vx::DesktopEntry {

// The value of an Exec key that runs `program` with no arguments, whatever
// characters its path holds: quoted and escaped for the command line, then
// escaped for the key file, with '%' kept from being read as a field code.
// A path holding '%' is started through /bin/sh, for GLib's sake.
std::string execValue(const std::string& program);

// A whole entry for this application that starts `program`. Fails for a path
// that is not UTF-8, which a desktop entry cannot carry.
std::expected<std::string, platform::Error> applicationEntry(const std::filesystem::path& program);

}  // namespace vx::DesktopEntry

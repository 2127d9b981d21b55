#include "system/DesktopEntry.h"

#include <cstdint>
#include <string_view>

namespace vx::DesktopEntry {

namespace {

// Inside double quotes these four keep a special meaning for the command line.
constexpr std::string_view kQuotedSpecials = "\"`$\\";

bool isUtf8(std::string_view text) {
    size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x06 ? 2
                              : (lead >> 4) == 0x0E ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        if (length == 0 || at + length > text.size()) {
            return false;
        }
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = code << 6 | (next & 0x3F);
        }
        static constexpr uint32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallestOfLength[length] || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string quotedArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (kQuotedSpecials.find(c) != std::string_view::npos) {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + '"';
}

// The escapes of the key file's string type, and "%%" for a literal '%'.
std::string keyFileString(std::string_view value) {
    std::string escaped;
    for (char c : value) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '%':
                escaped += "%%";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

// GLib checks that the program exists before it turns "%%" back into '%', and
// so refuses an entry whose program path holds a '%'. Such a path is handed to
// a shell as data instead, never read as a command: the program position then
// holds no '%', and the shell replaces itself with the program.
std::string execValue(const std::string& program) {
    std::string command = quotedArgument(program);
    if (program.find('%') != std::string::npos) {
        command = "/bin/sh -c " + quotedArgument("exec \"$0\"") + " " + command;
    }
    return keyFileString(command);
}

std::expected<std::string, platform::Error> applicationEntry(const std::filesystem::path& program) {
    if (!isUtf8(program.native())) {
        return std::unexpected(platform::Error{
            platform::kAppErrorDomain, 0,
            "The path of this program is not UTF-8 text, so a desktop entry cannot name it."});
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Ventilux\n"
           "Exec=" +
           execValue(program.native()) + "\n";
}

}  // namespace vx::DesktopEntry

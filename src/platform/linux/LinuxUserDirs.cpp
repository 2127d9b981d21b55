#include "platform/linux/LinuxUserDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace vx::platform::linux_ {

namespace {

std::optional<std::filesystem::path> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

std::filesystem::path accountHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

// The folder of an XDG_DESKTOP_DIR="..." line: the quoted value with its
// backslash escapes undone and a leading $HOME replaced. Any other form is
// not a folder this convention allows.
std::optional<std::filesystem::path> desktopFromLine(std::string_view line,
                                                     const std::filesystem::path& home) {
    constexpr std::string_view kPrefix = "XDG_DESKTOP_DIR=\"";
    if (!line.starts_with(kPrefix) || !line.ends_with('"') || line.size() <= kPrefix.size()) {
        return std::nullopt;
    }
    std::string_view quoted = line.substr(kPrefix.size(), line.size() - kPrefix.size() - 1);
    std::string value;
    for (size_t at = 0; at < quoted.size(); ++at) {
        if (quoted[at] == '\\' && at + 1 < quoted.size()) {
            ++at;
        }
        value += quoted[at];
    }
    std::string_view rest = value;
    if (rest.starts_with("$HOME")) {
        rest.remove_prefix(5);
        if (!rest.empty() && rest.front() != '/') {
            return std::nullopt;
        }
        // "$HOME" alone is how the convention says the folder is switched off.
        if (rest.find_first_not_of('/') == std::string_view::npos) {
            return std::nullopt;
        }
        return home / std::filesystem::path(rest).relative_path();
    }
    if (rest.starts_with('/')) {
        return std::filesystem::path(rest);
    }
    return std::nullopt;
}

}  // namespace

std::filesystem::path LinuxUserDirs::home() const {
    if (auto fromEnvironment = absoluteFromEnvironment("HOME")) {
        return *fromEnvironment;
    }
    return accountHome();
}

std::filesystem::path LinuxUserDirs::configHome() const {
    if (auto fromEnvironment = absoluteFromEnvironment("XDG_CONFIG_HOME")) {
        return *fromEnvironment;
    }
    return home() / ".config";
}

std::vector<std::filesystem::path> LinuxUserDirs::desktopDirectories() const {
    const std::filesystem::path homeFolder = home();
    std::ifstream userDirs(configHome() / "user-dirs.dirs");
    std::optional<std::filesystem::path> desktop;
    for (std::string line; std::getline(userDirs, line);) {
        // As in a shell, a later assignment wins.
        if (auto found = desktopFromLine(line, homeFolder)) {
            desktop = found;
        }
    }
    return {desktop.value_or(homeFolder / "Desktop")};
}

}  // namespace vx::platform::linux_

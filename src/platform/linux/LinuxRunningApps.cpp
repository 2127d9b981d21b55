#include "platform/linux/LinuxRunningApps.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace vx::platform::linux_ {

namespace {

const std::filesystem::path kProc = "/proc";

std::chrono::system_clock::time_point readBootTime() {
    std::ifstream stat(kProc / "stat");
    for (std::string line; std::getline(stat, line);) {
        int64_t seconds = 0;
        if (line.starts_with("btime ") &&
            std::from_chars(line.data() + 6, line.data() + line.size(), seconds).ec ==
                std::errc{}) {
            return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
        }
    }
    return {};
}

std::optional<std::string> programFile(const std::filesystem::path& processFolder) {
    std::error_code error;
    std::string target = std::filesystem::read_symlink(processFolder / "exe", error).string();
    if (error || target.empty()) {
        return std::nullopt;
    }
    // A program replaced on disk (an upgrade) while it runs is still the same program.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) {
        target.resize(target.size() - kDeleted.size());
    }
    return target;
}

// Clock ticks after boot at which the process started: field 22 of its stat
// line, counted after the command name, which may itself hold spaces and ')'.
std::optional<uint64_t> startTicks(const std::filesystem::path& processFolder) {
    std::ifstream stat(processFolder / "stat");
    std::string line;
    std::getline(stat, line);
    const size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(nameEnd + 1));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 22) {
            uint64_t ticks = 0;
            if (std::from_chars(field.data(), field.data() + field.size(), ticks).ec ==
                std::errc{}) {
                return ticks;
            }
        }
    }
    return std::nullopt;
}

std::optional<uid_t> realUser(const std::filesystem::path& processFolder) {
    std::ifstream status(processFolder / "status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Uid:")) {
            std::istringstream ids(line.substr(4));
            uid_t real = 0;
            if (ids >> real) {
                return real;
            }
        }
    }
    return std::nullopt;
}

// The desktop session a process was started in, from the variables that name
// it. Copies in another session (a second seat, a remote desktop, a test's
// private display) each have a tray of their own and are no twins.
std::string desktopSession(const std::filesystem::path& processFolder) {
    std::ifstream environment(processFolder / "environ", std::ios::binary);
    std::string session;
    for (std::string variable; std::getline(environment, variable, '\0');) {
        for (std::string_view name :
             {"DISPLAY=", "WAYLAND_DISPLAY=", "DBUS_SESSION_BUS_ADDRESS="}) {
            if (variable.starts_with(name)) {
                session += variable + '\n';
            }
        }
    }
    return session;
}

bool isProcessID(const std::string& name) {
    return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

LinuxRunningApps::LinuxRunningApps()
    : bootTime_(readBootTime()), session_(desktopSession(kProc / "self")) {}

RunningApp LinuxRunningApps::describe(const std::string& pid) const {
    const std::filesystem::path folder = kProc / pid;
    RunningApp app;
    app.identifier = programFile(folder);
    std::from_chars(pid.data(), pid.data() + pid.size(), app.pid);
    const auto perSecond = static_cast<uint64_t>(sysconf(_SC_CLK_TCK));
    if (auto ticks = startTicks(folder); ticks && perSecond > 0) {
        using std::chrono::nanoseconds;
        const nanoseconds sinceBoot(*ticks / perSecond * 1'000'000'000 +
                                    *ticks % perSecond * 1'000'000'000 / perSecond);
        app.launchTime =
            bootTime_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceBoot);
    }
    return app;
}

RunningApp LinuxRunningApps::current() const {
    return describe(std::to_string(getpid()));
}

std::vector<RunningApp> LinuxRunningApps::list() const {
    std::vector<RunningApp> apps;
    const uid_t me = getuid();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(kProc, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        // A process may end at any point of this walk; it then simply drops out.
        if (isProcessID(name) && realUser(entry->path()) == me &&
            desktopSession(entry->path()) == session_) {
            apps.push_back(describe(name));
        }
    }
    return apps;
}

}  // namespace vx::platform::linux_

#include "system/LoginItem.h"

#include <expected>
#include <system_error>

#include "platform/Services.h"

#include "system/DesktopEntry.h"

namespace vx::LoginItem {

namespace {

// GLib's launcher reads the entry exactly as the session's autostart does.
constexpr const char* kSessionTool = "gio";

const char* text(bool value) {
    return value ? "true" : "false";
}

platform::Error folderError(const std::filesystem::path& folder, const std::error_code& error) {
    return {platform::kAppErrorDomain, 0,
            "Could not create the folder " + folder.string() + ": " + error.message() + "."};
}

std::expected<void, platform::Error> writeEntry() {
    platform::Services& services = platform::services();
    auto program = services.processRunner->currentExecutable();

    std::error_code error;
    const std::filesystem::path folder = entryPath().parent_path();
    std::filesystem::create_directories(folder, error);
    if (error) {
        return std::unexpected(folderError(folder, error));
    }
    if (!program) {
        return std::unexpected(program.error());
    }
    auto entry = DesktopEntry::applicationEntry(*program);
    if (!entry) {
        return std::unexpected(entry.error());
    }
    return services.atomicFiles->replace(entryPath(), *entry);
}

}  // namespace

std::filesystem::path entryPath() {
    return platform::services().userDirs->configHome() / "autostart" /
           (std::string(label) + ".desktop");
}

bool isEnabled() {
    std::error_code error;
    return std::filesystem::exists(entryPath(), error);
}

bool setEnabled(bool enabled) {
    if (enabled) {
        return enable();
    }
    disable();
    return true;
}

// An autostart entry is only read at login: no copy of it stays loaded that
// would have to be unloaded first, so enabling goes from the written entry
// straight to starting the application now.
bool enable() {
    if (auto written = writeEntry(); !written) {
        platform::services().log->line("Ventilux: login enable failed: " +
                                       written.error().description);
        return false;
    }
    run({"launch", entryPath().string()});
    return true;
}

// Likewise nothing is loaded to unload: removing the entry is the whole change.
void disable() {
    std::error_code ignored;
    std::filesystem::remove(entryPath(), ignored);
}

void run(const std::vector<std::string>& arguments) {
    platform::services().processRunner->run(kSessionTool, arguments, {});
}

void runSwitch(bool enable) {
    platform::Services& services = platform::services();
    const bool ok = setEnabled(enable);
    if (enable) {
        services.stdErr->write(std::string("LOGIN: enabled=") + text(ok) +
                               " status=" + text(isEnabled()) + "\n");
        services.dispatch->exitProcess(ok ? 0 : 1);
    } else {
        services.stdErr->write(std::string("LOGIN: disabled=") + text(ok) + "\n");
        services.dispatch->exitProcess(0);
    }
}

}  // namespace vx::LoginItem

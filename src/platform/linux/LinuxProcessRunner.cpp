#include "platform/linux/LinuxProcessRunner.h"

#include <glib.h>
#include <sys/wait.h>

#include <memory>
#include <system_error>

namespace vx::platform::linux_ {

namespace {

void onExit(GPid pid, gint waitStatus, gpointer data) {
    std::unique_ptr<ProcessRunner::Completion> completion(
        static_cast<ProcessRunner::Completion*>(data));
    g_spawn_close_pid(pid);
    if (*completion) {
        (*completion)(WIFEXITED(waitStatus) ? std::optional<int>(WEXITSTATUS(waitStatus))
                                            : std::nullopt);
    }
}

}  // namespace

void LinuxProcessRunner::run(const std::string& tool, const std::vector<std::string>& arguments,
                             Completion completion) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    // Standard input is the null device unless asked otherwise, and every
    // descriptor of ours beyond the standard three is closed in the child.
    const auto flags =
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                 G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
    GPid pid = 0;
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv.data(), nullptr, flags, nullptr, nullptr, &pid, &error)) {
        g_error_free(error);
        if (completion) {
            // Never before run() returns, as for a tool that did start.
            g_idle_add_once(
                [](gpointer data) {
                    std::unique_ptr<Completion> late(static_cast<Completion*>(data));
                    (*late)(std::nullopt);
                },
                new Completion(std::move(completion)));
        }
        return;
    }
    g_child_watch_add(pid, onExit, new Completion(std::move(completion)));
}

std::expected<std::filesystem::path, Error> LinuxProcessRunner::currentExecutable() const {
    std::error_code error;
    std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", error);
    if (error) {
        return std::unexpected(
            Error{"POSIX", error.value(),
                  "Cannot tell which file this program runs from: " + error.message() + "."});
    }
    return program;
}

}  // namespace vx::platform::linux_

#pragma once

#include "platform/ProcessRunner.h"

namespace vx::platform::linux_ {

// Tools started through GLib, their exit collected by the main loop so that
// no child is left a zombie. Call from the main thread.
class LinuxProcessRunner : public ProcessRunner {
  public:
    void run(const std::string& tool, const std::vector<std::string>& arguments,
             Completion completion) override;
    // The kernel's canonical name of /proc/self/exe.
    std::expected<std::filesystem::path, Error> currentExecutable() const override;
};

}  // namespace vx::platform::linux_

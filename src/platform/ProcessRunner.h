#pragma once

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace vx::platform {

// Runs helper tools, and knows which program this process runs so that it can
// be started again later (at login).
class ProcessRunner {
  public:
    // The exit status, or none when the tool could not be started or did not
    // exit normally.
    using Completion = std::function<void(std::optional<int> exitStatus)>;

    virtual ~ProcessRunner() = default;
    // Called on the main thread. Starts `tool` (a name looked up on the search
    // path, or a path) with exactly `arguments`, its input and output on the
    // null device, and returns at once without waiting. `completion`, which
    // may be empty, runs later on the main thread.
    virtual void run(const std::string& tool, const std::vector<std::string>& arguments,
                     Completion completion) = 0;
    // The absolute path of the executable file this process runs. Any thread;
    // does not block.
    virtual std::expected<std::filesystem::path, Error> currentExecutable() const = 0;
};

}  // namespace vx::platform

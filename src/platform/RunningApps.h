#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

struct RunningApp {
    std::optional<std::string> identifier;  // none where it cannot be read
    int pid = 0;
    // When the process started; none where it cannot be read. Lets two copies
    // started at the same moment agree on which of them is the older.
    std::optional<std::chrono::system_clock::time_point> launchTime;
};

// Asked on the main thread as the program starts; reads the process table
// without waiting for any process.
class RunningApps {
  public:
    virtual ~RunningApps() = default;
    virtual RunningApp current() const = 0;
    virtual std::vector<RunningApp> list() const = 0;
};

}  // namespace vx::platform

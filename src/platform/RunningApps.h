#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

struct RunningApp {
    std::optional<std::string> identifier;  // none where it cannot be read
    int pid = 0;
};

class RunningApps {
  public:
    virtual ~RunningApps() = default;
    virtual RunningApp current() const = 0;
    virtual std::vector<RunningApp> list() const = 0;
};

}  // namespace vx::platform

#pragma once

#include <filesystem>
#include <vector>

namespace vx::platform {

// Any thread (the core asks on the main thread, background tasks and the
// capture queue); reads at most a small configuration file.
class UserDirs {
  public:
    virtual ~UserDirs() = default;
    virtual std::filesystem::path home() const = 0;
    // The user's Desktop folders, best first; may be empty.
    virtual std::vector<std::filesystem::path> desktopDirectories() const = 0;
    // The user's folder for configuration files.
    virtual std::filesystem::path configHome() const = 0;
};

}  // namespace vx::platform

#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vx {

// How a self-test run tells a script what happened: one line per recorder
// message on standard error, then the end of the process.
class SelfTestReport {
  public:
    // How long after a result line the process ends, so that a message that
    // follows at once is printed too.
    static constexpr double kExitDelay = 0.3;

    // "<prefix><text> | <file or no-file>", then exit status 0 shortly after.
    static void result(const std::string& prefix, const std::string& text,
                       const std::optional<std::filesystem::path>& file);
    static void line(const std::string& text);
};

}  // namespace vx

#pragma once

#include <vector>

#include "platform/Dispatch.h"
#include "platform/ProcessRunner.h"

namespace vx::platform::sim {

// Records the tools asked for; none of them runs. Completions are posted to
// the main queue with the status the test chose.
class SimProcessRunner : public ProcessRunner {
  public:
    struct Run {
        std::string tool;
        std::vector<std::string> arguments;
        bool operator==(const Run&) const = default;
    };

    explicit SimProcessRunner(Dispatch& dispatch) : dispatch_(dispatch) {}

    void run(const std::string& tool, const std::vector<std::string>& arguments,
             Completion completion) override {
        runs.push_back({tool, arguments});
        if (completion) {
            dispatch_.post([completion, status = exitStatus] { completion(status); });
        }
    }
    std::expected<std::filesystem::path, Error> currentExecutable() const override {
        return executable;
    }

    std::vector<Run> runs;
    std::optional<int> exitStatus = 0;  // none: the tool cannot be started
    std::expected<std::filesystem::path, Error> executable =
        std::filesystem::path("/usr/bin/ventilux");

  private:
    Dispatch& dispatch_;
};

}  // namespace vx::platform::sim

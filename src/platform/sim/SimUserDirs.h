#pragma once

#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/UserDirs.h"

namespace vx::platform::sim {

class SimUserDirs : public UserDirs {
    // Declared first: configFolder starts out as this.
    static std::filesystem::path makeScratchPath() {
        static std::atomic<int> made{0};
        return std::filesystem::temp_directory_path() /
               ("ventilux-sim-config-" + std::to_string(::getpid()) + "-" + std::to_string(made++));
    }
    const std::filesystem::path scratchConfig_ = makeScratchPath();

  public:
    ~SimUserDirs() override {
        std::error_code ignored;
        std::filesystem::remove_all(scratchConfig_, ignored);
    }

    std::filesystem::path home() const override { return homeFolder; }
    std::vector<std::filesystem::path> desktopDirectories() const override { return desktops; }
    std::filesystem::path configHome() const override { return configFolder; }

    std::filesystem::path homeFolder = "/home/tester";
    std::vector<std::filesystem::path> desktops = {"/home/tester/Desktop"};
    // Configuration files are real files: by default they go to a folder of
    // this simulated desktop's own, not yet created and removed with it.
    std::filesystem::path configFolder = scratchConfig_;
};

}  // namespace vx::platform::sim

#pragma once

#include "platform/UserDirs.h"

namespace vx::platform::sim {

class SimUserDirs : public UserDirs {
  public:
    std::filesystem::path home() const override { return homeFolder; }
    std::vector<std::filesystem::path> desktopDirectories() const override { return desktops; }

    std::filesystem::path homeFolder = "/home/tester";
    std::vector<std::filesystem::path> desktops = {"/home/tester/Desktop"};
};

}  // namespace vx::platform::sim

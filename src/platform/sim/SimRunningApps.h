#pragma once

#include "platform/RunningApps.h"

namespace vx::platform::sim {

class SimRunningApps : public RunningApps {
  public:
    RunningApp current() const override { return self; }
    std::vector<RunningApp> list() const override { return running; }

    RunningApp self{"/usr/bin/ventilux", 100, std::nullopt};
    std::vector<RunningApp> running{self};
};

}  // namespace vx::platform::sim

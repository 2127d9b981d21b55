#pragma once

#include <vector>

#include "platform/Workspace.h"

namespace vx::platform::sim {

class SimWorkspace : public Workspace {
  public:
    void openPrivacySettings(PrivacyPane pane) override { openedPanes.push_back(pane); }
    std::vector<PrivacyPane> openedPanes;
};

}  // namespace vx::platform::sim

#pragma once

#include "platform/Log.h"
#include "platform/Workspace.h"

namespace vx::platform::linux_ {

class LinuxWorkspace : public Workspace {
  public:
    explicit LinuxWorkspace(Log& log) : log_(log) {}
    void openPrivacySettings(PrivacyPane pane) override;

  private:
    Log& log_;
};

}  // namespace vx::platform::linux_

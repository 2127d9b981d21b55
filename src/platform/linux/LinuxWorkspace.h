#pragma once

#include "platform/Log.h"
#include "platform/ScreenCapture.h"
#include "platform/Workspace.h"

namespace vx::platform::linux_ {

// The file manager and default handlers through the session bus and GIO; the
// screen list is the capture service's, since X11 measures screens in pixels.
class LinuxWorkspace : public Workspace {
  public:
    LinuxWorkspace(Log& log, ScreenCapture& screenCapture)
        : log_(log), screenCapture_(screenCapture) {}
    void openPrivacySettings(PrivacyPane pane) override;
    void revealInFileManager(const std::filesystem::path& file) override;
    void openFolder(const std::filesystem::path& folder) override;
    void activateApp() override {}  // a tray application has no window to raise
    std::vector<ScreenInfo> screens() override;

  private:
    Log& log_;
    ScreenCapture& screenCapture_;
};

}  // namespace vx::platform::linux_

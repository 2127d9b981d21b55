#pragma once

namespace vx::platform {

enum class PrivacyPane { screenRecording };

class Workspace {
  public:
    virtual ~Workspace() = default;
    // Shows the user where the permission is granted; the outcome is not reported.
    virtual void openPrivacySettings(PrivacyPane pane) = 0;
};

}  // namespace vx::platform

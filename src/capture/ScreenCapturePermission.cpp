#include "capture/ScreenCapturePermission.h"

#include "platform/Services.h"

namespace vx::ScreenCapturePermission {

bool check() {
    auto& services = platform::services();
    if (services.screenCapture->preflightAccess()) {
        return true;
    }
    services.screenCapture->requestAccess();
    services.dispatch->post([] {
        platform::services().workspace->openPrivacySettings(platform::PrivacyPane::screenRecording);
    });
    return false;
}

}  // namespace vx::ScreenCapturePermission

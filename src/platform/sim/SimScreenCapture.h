#pragma once

#include <optional>
#include <vector>

#include "platform/ScreenCapture.h"

namespace vx::platform::sim {

// Screens of the test's choosing. Answers come at once, on the caller's thread.
class SimScreenCapture : public ScreenCapture {
  public:
    bool preflightAccess() override { return accessAllowed; }
    void requestAccess() override { ++accessRequests; }
    uint32_t mainDisplayID() override { return mainID; }
    void shareableContent(ShareableContentHandler handler) override;
    void captureScreenshot(const ScreenshotRequest& request, ScreenshotHandler handler) override;

    bool accessAllowed = true;
    int accessRequests = 0;
    uint32_t mainID = 1;
    ShareableContent content{{{1, 1920, 1080}}};
    std::optional<Error> contentError;
    std::optional<Error> captureError;
    std::vector<ScreenshotRequest> requests;  // every screenshot asked for
};

}  // namespace vx::platform::sim

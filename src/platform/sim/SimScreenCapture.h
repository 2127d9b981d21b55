#pragma once

#include <optional>
#include <vector>

#include "platform/ScreenCapture.h"

namespace vx::platform::sim {

// Screens of the test's choosing. Answers come at once, on the caller's thread,
// unless the test holds screenshots to complete them in an order of its choosing.
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

    bool holdScreenshots = false;
    size_t heldScreenshotCount() const { return held_.size(); }
    void completeHeldScreenshot(size_t index);

  private:
    struct Held {
        uint8_t marker;
        ScreenshotRequest request;
        ScreenshotHandler handler;
    };
    void deliver(uint8_t marker, const ScreenshotRequest& request,
                 const ScreenshotHandler& handler);

    std::vector<Held> held_;
};

}  // namespace vx::platform::sim

#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Types.h"

namespace vx::platform {

struct DisplayInfo {
    uint32_t displayID = 0;  // never 0 for a real display
    int64_t width = 0;       // pixels
    int64_t height = 0;
};

struct ShareableContent {
    std::vector<DisplayInfo> displays;  // in a stable order
};

struct ScreenshotRequest {
    uint32_t displayID = 0;
    int64_t width = 0;  // size of the image delivered
    int64_t height = 0;
    bool showsCursor = true;
    bool scalesToFit = true;
};

using ShareableContentHandler = std::function<void(std::expected<ShareableContent, Error>)>;
using ScreenshotHandler =
    std::function<void(std::expected<std::shared_ptr<const PixelBuffer>, Error>)>;

// Handlers run once, on a thread of the service's choosing (possibly the
// caller's, before the call returns). Safe to call from several threads.
class ScreenCapture {
  public:
    virtual ~ScreenCapture() = default;
    // Background tasks, as a recording starts. May block while the desktop is
    // asked whether it still keeps the user's consent.
    virtual bool preflightAccess() = 0;
    // Background tasks; does not wait for the user. Asks the system to offer
    // the permission; the answer comes from a later preflight.
    virtual void requestAccess() = 0;
    // Any thread (the menu's on the main one); never blocks: the list the service keeps.
    virtual uint32_t mainDisplayID() = 0;
    // Any thread (the menu's on the main one); never blocks: the list the service keeps.
    virtual void shareableContent(ShareableContentHandler handler) = 0;
    // Background tasks. Blocks until the picture is taken, and the first time
    // a display is shot through the desktop's screen sharing, until its cast
    // is open (seconds).
    virtual void captureScreenshot(const ScreenshotRequest& request, ScreenshotHandler handler) = 0;
};

}  // namespace vx::platform

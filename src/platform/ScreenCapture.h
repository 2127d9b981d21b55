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
    // Main thread, as a recording starts; may ask a desktop service and wait for it.
    virtual bool preflightAccess() = 0;
    // Main thread; never blocks. Asks the system to offer the permission; the
    // answer comes from a later preflight.
    virtual void requestAccess() = 0;
    // Any thread (the menu's on the main one); never blocks: the list the service keeps.
    virtual uint32_t mainDisplayID() = 0;
    // Any thread (the menu's on the main one); never blocks: the list the service keeps.
    virtual void shareableContent(ShareableContentHandler handler) = 0;
    // A background task; may wait for the display server.
    virtual void captureScreenshot(const ScreenshotRequest& request, ScreenshotHandler handler) = 0;
};

}  // namespace vx::platform

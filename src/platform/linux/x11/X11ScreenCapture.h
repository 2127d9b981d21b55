#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ScreenCapture.h"
#include "platform/linux/image/PixelPool.h"
#include "platform/linux/x11/X11MonitorWatch.h"
#include "platform/linux/x11/X11Monitors.h"
#include "platform/linux/x11/X11Session.h"

namespace vx::platform::linux_ {

// Screens of an X server: one display per RandR monitor, screenshots through
// shared memory with the pointer drawn from XFIXES. Every answer is given on the
// caller's thread before the call returns. The display list is the one the main
// loop keeps current, so that reading it never waits for the server; a
// screenshot asks afresh on its own thread.
class X11ScreenCapture : public ScreenCapture {
  public:
    // `displayName` empty means the display named by DISPLAY.
    explicit X11ScreenCapture(std::string displayName = {});

    // X11 lets every client read the screen.
    bool preflightAccess() override { return true; }
    void requestAccess() override {}
    // The primary monitor, else the first; 0 when the X server cannot be reached.
    uint32_t mainDisplayID() override;
    void shareableContent(ShareableContentHandler handler) override;
    // Waits for the X server on the calling thread.
    void captureScreenshot(const ScreenshotRequest& request, ScreenshotHandler handler) override;

  private:
    std::expected<std::shared_ptr<const PixelBuffer>, Error> screenshot(
        const ScreenshotRequest& request);
    std::expected<X11Session*, Error> session();  // with mutex_ held

    const std::string displayName_;
    X11MonitorWatch watch_;
    // One connection serves every thread in turn: opening one per call costs more than
    // the screenshot itself, and the shared-memory segment lives with the connection.
    std::mutex mutex_;
    std::unique_ptr<X11Session> session_;  // guarded by mutex_; reopened after it breaks
    // Pictures made from the grabber's own segment: resized, or copied when no segment
    // of their own was free.
    PixelPool resized_;
};

}  // namespace vx::platform::linux_

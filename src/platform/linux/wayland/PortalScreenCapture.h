#pragma once

#include <gio/gio.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/DefaultsStore.h"
#include "platform/Log.h"
#include "platform/ScreenCapture.h"
#include "platform/linux/image/PixelPool.h"
#include "platform/linux/wayland/ScreenCastTokens.h"
#include "platform/linux/wayland/ScreenCasts.h"
#include "platform/linux/wayland/WaylandOutputs.h"

namespace vx::platform::linux_ {

// Screens of a Wayland desktop, which lets no client read the screen on its
// own: the user allows one monitor once in the desktop's chooser, the consent
// is kept as a restore token per display, and pictures come over PipeWire.
// Answers are given on the caller's thread, which may wait for the desktop,
// except for the display list: that is the one the main loop keeps current.
class PortalScreenCapture : public ScreenCapture {
  public:
    PortalScreenCapture(DefaultsStore& store, Log& log);
    ~PortalScreenCapture() override;

    // True when some display's consent is still in the desktop's keeping; asks it.
    bool preflightAccess() override;
    // Shows the desktop's chooser, once at a time, without waiting for the user.
    void requestAccess() override;
    // Wayland has no main monitor: the first the compositor announces.
    uint32_t mainDisplayID() override;
    void shareableContent(ShareableContentHandler handler) override;
    // Waits for the desktop to share the display and for its picture.
    void captureScreenshot(const ScreenshotRequest& request, ScreenshotHandler handler) override;

    // For recordings, which need pictures of their own at their own pace.
    ScreenCasts& casts() { return casts_; }

  private:
    void askUser();

    Log& log_;
    WaylandOutputs outputs_;
    ScreenCastTokens tokens_;
    ScreenCasts casts_;
    PixelPool resized_;          // pictures of another size than the cast's
    GCancellable* cancellable_;  // ends a question still open when this goes
    std::mutex asking_;
    std::thread question_;  // guarded by asking_
    std::atomic<bool> questionOpen_{false};
};

}  // namespace vx::platform::linux_

#include "platform/linux/x11/X11ScreenCapture.h"

#include <algorithm>
#include <utility>

#include "platform/linux/image/CursorOverlay.h"
#include "platform/linux/image/ScreenshotPicture.h"

namespace vx::platform::linux_ {
namespace {

const X11Monitor* findMonitor(const std::vector<X11Monitor>& monitors, uint32_t id) {
    auto found = std::find_if(monitors.begin(), monitors.end(),
                              [id](const X11Monitor& m) { return m.id == id; });
    return found == monitors.end() ? nullptr : &*found;
}

// The monitor's pixels where the server wrote them, when the picture needs no resizing
// and a segment is free; else in the grabber's own segment (no keeper), to be copied.
std::expected<X11FrameGrabber::KeptImage, Error> grabMonitor(X11FrameGrabber& grabber,
                                                             const X11Monitor& monitor,
                                                             const ScreenshotRequest& request) {
    if (ScreenshotPicture::fitsAsIs(monitor.width, monitor.height, request)) {
        auto kept = grabber.grabToKeep(monitor.x, monitor.y, monitor.width, monitor.height);
        if (!kept) {
            return std::unexpected(kept.error());
        }
        if (*kept) {
            return std::move(**kept);
        }
    }
    auto frame = grabber.grab(monitor.x, monitor.y, monitor.width, monitor.height);
    if (!frame) {
        return std::unexpected(frame.error());
    }
    return X11FrameGrabber::KeptImage{*frame, nullptr};
}

}  // namespace

X11ScreenCapture::X11ScreenCapture(std::string displayName)
    : displayName_(std::move(displayName)),
      watch_(displayName_),
      resized_(ScreenshotPicture::kPicturesKept) {}

std::expected<X11Session*, Error> X11ScreenCapture::session() {
    if (session_ && session_->connection().broken()) {
        session_.reset();
    }
    if (!session_) {
        auto opened = X11Session::open(displayName_);
        if (!opened) {
            return std::unexpected(opened.error());
        }
        session_ = std::move(*opened);
    }
    return session_.get();
}

uint32_t X11ScreenCapture::mainDisplayID() {
    auto listed = watch_.current();
    if (!listed) {
        return 0;
    }
    auto primary =
        std::find_if(listed->begin(), listed->end(), [](const X11Monitor& m) { return m.primary; });
    return primary != listed->end() ? primary->id : listed->front().id;
}

void X11ScreenCapture::shareableContent(ShareableContentHandler handler) {
    auto listed = watch_.current();
    if (!listed) {
        handler(std::unexpected(listed.error()));
        return;
    }
    ShareableContent content;
    for (const X11Monitor& monitor : *listed) {
        content.displays.push_back({monitor.id, monitor.width, monitor.height});
    }
    handler(std::move(content));
}

void X11ScreenCapture::captureScreenshot(const ScreenshotRequest& request,
                                         ScreenshotHandler handler) {
    handler(screenshot(request));
}

std::expected<std::shared_ptr<const PixelBuffer>, Error> X11ScreenCapture::screenshot(
    const ScreenshotRequest& request) {
    if (auto checked = ScreenshotPicture::check(request); !checked) {
        return std::unexpected(checked.error());
    }
    // The grabber's own segment is reused by the next capture, so a picture made from it
    // is made before the lock is let go.
    std::lock_guard lock(mutex_);
    auto current = session();
    if (!current) {
        return std::unexpected(current.error());
    }
    X11Session& x11 = **current;
    // Asked afresh: the display may be gone although the main loop has not heard yet.
    auto listed = x11.monitors().list();
    if (!listed) {
        return std::unexpected(listed.error());
    }
    const X11Monitor* monitor = findMonitor(*listed, request.displayID);
    if (monitor == nullptr) {
        return std::unexpected(
            x11Error(X11ErrorCode::displayGone, "The display to capture is no longer connected."));
    }
    const auto cursorAsked = request.showsCursor ? x11.cursor().ask() : X11CursorSource::Asked{};
    auto grabbed = grabMonitor(x11.grabber(), *monitor, request);
    const auto cursor = x11.cursor().answer(cursorAsked);
    if (!grabbed) {
        return std::unexpected(grabbed.error());
    }
    const ImageView pixels = grabbed->pixels;
    if (cursor) {
        CursorOverlay::draw(*cursor, pixels, monitor->x, monitor->y);
    }
    // A picture kept where the server wrote it goes on in that very memory.
    if (grabbed->keeper) {
        const size_t size = size_t(pixels.stride) * size_t(pixels.height);
        return std::make_shared<const PixelBuffer>(
            PixelBuffer{pixels.width, pixels.height, pixels.stride,
                        PixelBytes(pixels.pixels, size, std::move(grabbed->keeper))});
    }
    return ScreenshotPicture::fit(pixels, request, resized_);
}

}  // namespace vx::platform::linux_

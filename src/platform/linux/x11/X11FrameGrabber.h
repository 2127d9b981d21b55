#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <expected>
#include <memory>

#include "platform/Types.h"
#include "platform/linux/image/ImageView.h"
#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbShmSegment.h"

namespace vx::platform::linux_ {

// Copies rectangles of the root window: through shared memory where the server can
// attach it (one segment, kept and reused while the rectangles fit), else through
// the socket.
class X11FrameGrabber {
  public:
    // Fails when the screen's pixels are not 32-bit B, G, R, X in memory.
    static std::expected<std::unique_ptr<X11FrameGrabber>, Error> create(
        const XcbConnection& connection);

    // The pixels of that rectangle (alpha undefined); the view is ours to change and
    // stays valid until the next grab.
    std::expected<ImageView, Error> grab(int left, int top, int width, int height);

  private:
    X11FrameGrabber(const XcbConnection& connection, bool serverHasShm);
    std::expected<ImageView, Error> grabShared(int left, int top, int width, int height);
    std::expected<ImageView, Error> grabThroughSocket(int left, int top, int width, int height);

    const XcbConnection& connection_;
    bool useShm_;
    std::unique_ptr<XcbShmSegment> segment_;
    XcbReply<xcb_get_image_reply_t> socketImage_;  // what the last socket grab returned
};

}  // namespace vx::platform::linux_

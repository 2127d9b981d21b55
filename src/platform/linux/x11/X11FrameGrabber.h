#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>

#include "platform/Types.h"
#include "platform/linux/image/ImageView.h"
#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbShmPool.h"
#include "platform/linux/x11/XcbShmSegment.h"

namespace vx::platform::linux_ {

// Copies rectangles of the root window: through shared memory where the server can
// attach it (one segment, kept and reused while the rectangles fit), else through
// the socket. Screenshots to hold on to go into segments of their own.
class X11FrameGrabber {
  public:
    // Fails when the screen's pixels are not 32-bit B, G, R, X in memory.
    static std::expected<std::unique_ptr<X11FrameGrabber>, Error> create(
        const XcbConnection& connection);

    // The pixels of that rectangle (alpha undefined); the view is ours to change and
    // stays valid until the next grab.
    std::expected<ImageView, Error> grab(int left, int top, int width, int height);

    // The pixels of that rectangle (alpha undefined) in shared memory that is ours to
    // change and stays valid while a copy of `keeper` lives.
    struct KeptImage {
        ImageView pixels;
        std::shared_ptr<const void> keeper;
    };
    // None when shared memory cannot serve (the server has none, or every segment is
    // still held); grab() still can.
    std::expected<std::optional<KeptImage>, Error> grabToKeep(int left, int top, int width,
                                                              int height);

  private:
    X11FrameGrabber(const XcbConnection& connection, bool serverHasShm);
    // Gives up on shared memory when the server refuses a segment on a connection
    // that still works: a server on another machine cannot attach our memory.
    std::expected<void, Error> refused(const Error& error);
    std::expected<ImageView, Error> grabShared(const XcbShmSegment& segment, int left, int top,
                                               int width, int height);
    std::expected<ImageView, Error> grabThroughSocket(int left, int top, int width, int height);

    const XcbConnection& connection_;
    bool useShm_;
    std::unique_ptr<XcbShmSegment> segment_;
    XcbShmPool keptSegments_;
    XcbReply<xcb_get_image_reply_t> socketImage_;  // what the last socket grab returned
};

}  // namespace vx::platform::linux_

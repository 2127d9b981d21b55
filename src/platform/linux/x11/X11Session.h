#pragma once

#include <expected>
#include <memory>
#include <string>

#include "platform/Types.h"
#include "platform/linux/x11/X11CursorSource.h"
#include "platform/linux/x11/X11FrameGrabber.h"
#include "platform/linux/x11/X11Monitors.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// Everything screen capture needs on one connection to the X server: asking once
// per connection which extensions it has is what makes repeated captures cheap.
class X11Session {
  public:
    static std::expected<std::unique_ptr<X11Session>, Error> open(const std::string& displayName);
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    const XcbConnection& connection() const { return connection_; }
    const X11Monitors& monitors() const { return monitors_; }
    X11FrameGrabber& grabber() { return *grabber_; }
    const X11CursorSource& cursor() const { return cursor_; }

  private:
    explicit X11Session(XcbConnection connection);

    XcbConnection connection_;  // declared first: the helpers below use it
    X11Monitors monitors_;
    X11CursorSource cursor_;
    std::unique_ptr<X11FrameGrabber> grabber_;
};

}  // namespace vx::platform::linux_

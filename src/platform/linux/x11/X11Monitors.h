#pragma once

#include <xcb/randr.h>

#include <cstdint>
#include <expected>
#include <vector>

#include "platform/Types.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// One monitor: a rectangle of the root window, clipped to the screen.
struct X11Monitor {
    uint32_t id = 0;  // the monitor's name atom, or the root window without RandR; never 0
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool primary = false;
};

// The active monitors of one connection's screen, in the server's order.
class X11Monitors {
  public:
    explicit X11Monitors(const XcbConnection& connection);

    // Never empty on success: a screen without usable monitors is one whole-screen monitor.
    std::expected<std::vector<X11Monitor>, Error> list() const;

  private:
    std::expected<std::vector<X11Monitor>, Error> fromRandr(
        xcb_randr_get_monitors_cookie_t cookie, const xcb_get_geometry_reply_t& root) const;

    const XcbConnection& connection_;
    // RandR 1.5 lists monitors, including those made with `xrandr --setmonitor`.
    bool hasMonitorList_ = false;
};

}  // namespace vx::platform::linux_

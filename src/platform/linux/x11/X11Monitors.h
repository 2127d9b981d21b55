#pragma once

#include <xcb/randr.h>

#include <cstdint>
#include <expected>
#include <optional>
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
    using List = std::expected<std::vector<X11Monitor>, Error>;  // never empty on success
    // The questions of one listing, sent and not yet answered.
    struct Asked {
        std::optional<xcb_randr_get_monitors_cookie_t> monitors;
        xcb_get_geometry_cookie_t root;  // asked last: its answer comes after the other
    };

    explicit X11Monitors(const XcbConnection& connection);

    // Waits for the server's answer. A screen without usable monitors is one
    // whole-screen monitor.
    List list() const { return answer(ask()); }

    // The same in two steps, for a caller that must not wait: ask() sends the
    // questions (the caller flushes), answerIfIn() gives the list once the server
    // has answered them and nothing before.
    Asked ask() const;
    std::optional<List> answerIfIn(const Asked& asked) const;

  private:
    List answer(const Asked& asked) const;
    // The list from the answers to `asked`, the screen's having come in already.
    List fromAnswers(const Asked& asked,
                     std::expected<XcbReply<xcb_get_geometry_reply_t>, Error> root) const;
    List fromRandr(xcb_randr_get_monitors_cookie_t cookie,
                   const xcb_get_geometry_reply_t& root) const;

    const XcbConnection& connection_;
    // RandR 1.5 lists monitors, including those made with `xrandr --setmonitor`.
    bool hasMonitorList_ = false;
};

}  // namespace vx::platform::linux_

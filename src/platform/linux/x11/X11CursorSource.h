#pragma once

#include <xcb/xfixes.h>

#include <optional>

#include "platform/linux/image/CursorOverlay.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// The pointer's current picture and place, from the XFIXES extension.
class X11CursorSource {
  public:
    explicit X11CursorSource(const XcbConnection& connection);

    // Asked in two steps, so that the question goes out before the screen's and its
    // answer comes in with it rather than after a round trip of its own. Every question
    // asked must be answered. The answer is none when the server cannot tell (no
    // XFIXES, or the request failed): a screenshot without its pointer is still worth
    // having.
    using Asked = std::optional<xcb_xfixes_get_cursor_image_cookie_t>;
    Asked ask() const;
    std::optional<CursorImage> answer(Asked asked) const;

  private:
    const XcbConnection& connection_;
    bool available_ = false;
};

}  // namespace vx::platform::linux_

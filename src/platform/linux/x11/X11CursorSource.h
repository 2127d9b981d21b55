#pragma once

#include <optional>

#include "platform/linux/image/CursorOverlay.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// The pointer's current picture and place, from the XFIXES extension.
class X11CursorSource {
  public:
    explicit X11CursorSource(const XcbConnection& connection);

    // None when the server cannot tell (no XFIXES, or the request failed): a screenshot
    // without its pointer is still worth having.
    std::optional<CursorImage> current() const;

  private:
    const XcbConnection& connection_;
    bool available_ = false;
};

}  // namespace vx::platform::linux_

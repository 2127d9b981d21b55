#pragma once

#include <chrono>
#include <deque>

#include "platform/linux/image/ImageView.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// Rings where the user pressed a mouse button, each shown for half a second so
// that a viewer sees where the click landed.
class ClickMarker {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ClickMarker(const XcbConnection& connection) : connection_(connection) {}

    // Looks at the pointer's buttons: one that went down since the last look
    // leaves a ring where the pointer is. Looking once per frame misses only
    // a click shorter than a frame period.
    void look(Clock::time_point now);
    // Draws the rings still showing. `frameLeft`, `frameTop`: the root-window
    // position of the frame's first pixel; `sourcePerOutputPixel`: how many
    // screen pixels become one movie pixel, so rings look the same at any scale.
    void draw(ImageView frame, int frameLeft, int frameTop, double sourcePerOutputPixel,
              Clock::time_point now) const;

  private:
    struct Click {
        int x;
        int y;
        Clock::time_point at;
    };

    const XcbConnection& connection_;
    unsigned buttonsDown_ = 0;
    std::deque<Click> clicks_;
};

}  // namespace vx::platform::linux_

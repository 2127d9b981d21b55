#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux/image/ImageView.h"

namespace vx::platform::linux_ {

// The pointer's picture as the X server draws it.
struct CursorImage {
    int left = 0;  // root-window position of the image's top-left corner
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // premultiplied, row after row
};

// Draws the pointer over a screen image, as the screen itself shows it.
class CursorOverlay {
  public:
    // `frameLeft`, `frameTop`: the root-window position of the frame's top-left pixel.
    static void draw(const CursorImage& cursor, ImageView frame, int frameLeft, int frameTop);
};

}  // namespace vx::platform::linux_

#pragma once

#include <cstdint>
#include <vector>

#include "platform/StatusBar.h"

// Draws the status icon for a look, for the tray to show as a pixmap.
//
// Trays take no template images, so the look's tint is drawn in: with no tint
// the icon is white with a thin dark halo, which reads on dark and on light
// panels alike; red is drawn as it is. A tray icon has no room beside it, so
// a title (the countdown's seconds) is drawn inside the ring in place of the
// monogram.
namespace vx::platform::linux_::StatusIconPainter {

// The icon's side in points; a pixmap has `scale` pixels per point.
inline constexpr int kSide = 18;

// One square image; `pixels` are 0xAARRGGBB, not premultiplied, row after row.
struct IconImage {
    int side = 0;
    std::vector<uint32_t> pixels;
};

IconImage paint(const StatusButtonLook& look, int scale);

}  // namespace vx::platform::linux_::StatusIconPainter

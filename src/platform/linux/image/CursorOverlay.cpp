#include "platform/linux/image/CursorOverlay.h"

#include <algorithm>

namespace vx::platform::linux_ {
namespace {

// x / 255 rounded, exact for every product of two bytes.
uint32_t divideBy255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

}  // namespace

void CursorOverlay::draw(const CursorImage& cursor, ImageView frame, int frameLeft, int frameTop) {
    const int offsetX = cursor.left - frameLeft;
    const int offsetY = cursor.top - frameTop;
    const int fromX = std::max(0, -offsetX);
    const int toX = std::min(cursor.width, frame.width - offsetX);
    const int fromY = std::max(0, -offsetY);
    const int toY = std::min(cursor.height, frame.height - offsetY);
    for (int y = fromY; y < toY; ++y) {
        const uint32_t* source = cursor.argb.data() + size_t(y) * cursor.width;
        uint8_t* target = frame.row(offsetY + y) + 4 * offsetX;
        for (int x = fromX; x < toX; ++x) {
            const uint32_t pixel = source[x];
            const uint32_t keep = 255 - (pixel >> 24);
            uint8_t* out = target + 4 * x;
            // Premultiplied "over": the cursor's colour plus what shows through it.
            for (int channel = 0; channel < 3; ++channel) {
                const uint32_t colour = (pixel >> (8 * channel)) & 0xff;
                out[channel] = static_cast<uint8_t>(
                    std::min<uint32_t>(255, colour + divideBy255(out[channel] * keep)));
            }
        }
    }
}

}  // namespace vx::platform::linux_

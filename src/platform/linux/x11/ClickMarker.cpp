#include "platform/linux/x11/ClickMarker.h"

#include <algorithm>
#include <cmath>

namespace vx::platform::linux_ {

namespace {

constexpr auto kShownFor = std::chrono::milliseconds(500);
// In movie pixels.
constexpr double kRadius = 16;
constexpr double kThickness = 3;
// Buttons 1 to 3; 4 and 5 are the wheel, whose turns are not clicks.
constexpr unsigned kClickButtons =
    XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3;
// B, G, R: a warm yellow that stands out on light and dark screens.
constexpr uint8_t kColour[3] = {0x20, 0xc8, 0xff};

}  // namespace

void ClickMarker::look(Clock::time_point now) {
    xcb_connection_t* c = connection_.get();
    xcb_generic_error_t* error = nullptr;
    auto pointer = connection_.answer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_.root()), &error), error,
        "tell where the pointer is");
    while (!clicks_.empty() && now - clicks_.front().at > kShownFor) {
        clicks_.pop_front();
    }
    if (!pointer) {
        return;
    }
    const unsigned down = (*pointer)->mask & kClickButtons;
    if ((down & ~buttonsDown_) != 0) {
        clicks_.push_back({(*pointer)->root_x, (*pointer)->root_y, now});
    }
    buttonsDown_ = down;
}

void ClickMarker::draw(ImageView frame, int frameLeft, int frameTop, double sourcePerOutputPixel,
                       Clock::time_point now) const {
    const double radius = kRadius * sourcePerOutputPixel;
    const double halfThickness = kThickness * sourcePerOutputPixel / 2;
    const int reach = int(std::ceil(radius + halfThickness));
    for (const Click& click : clicks_) {
        // Fades out over the time it is shown.
        const double age = std::chrono::duration<double>(now - click.at).count();
        const double opacity =
            std::clamp(1.0 - age / std::chrono::duration<double>(kShownFor).count(), 0.0, 1.0);
        const int cx = click.x - frameLeft;
        const int cy = click.y - frameTop;
        for (int y = std::max(0, cy - reach); y < std::min(frame.height, cy + reach + 1); ++y) {
            uint8_t* row = frame.row(y);
            for (int x = std::max(0, cx - reach); x < std::min(frame.width, cx + reach + 1); ++x) {
                const double distance = std::hypot(x - cx, y - cy);
                // One pixel of soft edge keeps the ring round when scaled down.
                const double cover =
                    std::clamp(halfThickness + 0.5 - std::abs(distance - radius), 0.0, 1.0);
                const double alpha = cover * opacity;
                if (alpha <= 0) {
                    continue;
                }
                uint8_t* pixel = row + 4 * x;
                for (int channel = 0; channel < 3; ++channel) {
                    pixel[channel] = uint8_t(
                        std::lround(pixel[channel] * (1 - alpha) + kColour[channel] * alpha));
                }
            }
        }
    }
}

}  // namespace vx::platform::linux_

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/StatusBar.h"
#include "platform/linux/tray/StatusIconPainter.h"

namespace vx {
namespace {

namespace painter = platform::linux_::StatusIconPainter;
using platform::StatusButtonLook;
using platform::StatusImage;
using platform::StatusImagePosition;
using platform::StatusTint;

StatusButtonLook look(StatusTint tint, std::string title = "") {
    return {StatusImage::icon,
            title.empty() ? StatusImagePosition::imageOnly : StatusImagePosition::imageLeading,
            title, tint, "Ventilux"};
}

// Idle, the icon is light on a dark halo so that it reads on dark and light
// panels; recording and counting down it is red; the countdown's number is
// drawn, and its own for each number.
TEST(StatusIconPainter, IdleIsLightOnADarkHaloTheOthersAreRedAndTheCountdownShowsItsNumber) {
    const struct {
        const char* name;
        StatusButtonLook look;
        uint32_t ink;  // a fully covered pixel
        bool haloed;
    } cases[] = {
        {"idle", look(StatusTint::none), 0xFFF5F5F5, true},
        {"recording", look(StatusTint::systemRed), 0xFFFF3B30, false},
        {"counting down", look(StatusTint::systemRed, " 3"), 0xFFFF3B30, false},
    };
    for (int scale : {1, 2}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(scale) + "x");
            const painter::IconImage image = painter::paint(c.look, scale);
            ASSERT_EQ(image.side, painter::kSide * scale);
            ASSERT_EQ(image.pixels.size(), size_t(image.side * image.side));
            const auto& p = image.pixels;
            EXPECT_GT(std::count(p.begin(), p.end(), c.ink), image.side) << "too little ink";
            const auto halo = std::count_if(p.begin(), p.end(), [](uint32_t pixel) {
                return pixel >> 24 != 0 && (pixel & 0xFFFFFF) == 0;
            });
            EXPECT_EQ(halo > 0, c.haloed);
            EXPECT_EQ(p.front(), 0u) << "the corners stay clear";
        }
        const auto counting = [scale](const char* title) {
            return painter::paint(look(StatusTint::systemRed, title), scale).pixels;
        };
        EXPECT_NE(counting(" 3"), painter::paint(cases[1].look, scale).pixels);
        EXPECT_NE(counting(" 3"), counting(" 10"));
    }
}

}  // namespace
}  // namespace vx

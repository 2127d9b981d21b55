#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "platform/StatusBar.h"
#include "platform/linux/tray/StatusIconPainter.h"

namespace vx {
namespace {

namespace painter = platform::linux_::StatusIconPainter;
using platform::StatusButtonLook;
using platform::StatusImage;
using platform::StatusImagePosition;
using platform::StatusTint;

const StatusButtonLook kIdle{StatusImage::icon, StatusImagePosition::imageOnly, "",
                             StatusTint::none, "Ventilux"};
const StatusButtonLook kRecording{StatusImage::icon, StatusImagePosition::imageOnly, "",
                                  StatusTint::systemRed, "Ventilux \u2014 recording"};
const StatusButtonLook kCountdown{StatusImage::icon, StatusImagePosition::imageLeading, " 3",
                                  StatusTint::systemRed, "Ventilux"};

// Coverage of the pixel holding the point (x, y) in points, y upwards.
class Covered {
  public:
    Covered(const StatusButtonLook& look, int scale)
        : scale_(scale), side_(painter::kSide * scale), alpha_(painter::coverage(look, scale)) {}

    int at(double x, double y) const {
        const int column = int(std::floor(x * scale_));
        const int row = int(std::floor((painter::kSide - y) * scale_));
        return alpha_.at(size_t(row) * side_ + column);
    }
    int onRing(double degrees) const {
        const double a = degrees * std::numbers::pi / 180;
        return at(9 + 6.48 * std::cos(a), 9 + 6.48 * std::sin(a));
    }
    // Pixels at least half covered within the box of points [x0, x1] x [y0, y1].
    int inked(double x0, double y0, double x1, double y1) const {
        int count = 0;
        for (double x = x0; x < x1; x += 1.0 / scale_) {
            for (double y = y0; y < y1; y += 1.0 / scale_) {
                count += at(x, y) >= 128 ? 1 : 0;
            }
        }
        return count;
    }

  private:
    int scale_;
    int side_;
    std::vector<uint8_t> alpha_;
};

TEST(StatusIconPainter, RingArrowheadAndMonogramAreDrawnAndTheGapAtTheTopIsEmpty) {
    for (int scale : {1, 2}) {
        Covered icon(kIdle, scale);
        for (double degrees : {0, 30, 130, 180, 225, 270, 315, 350}) {
            EXPECT_GE(icon.onRing(degrees), 128) << "ring at " << degrees << "° x" << scale;
        }
        for (double degrees : {85, 90}) {
            EXPECT_EQ(icon.onRing(degrees), 0) << "gap at " << degrees << "° x" << scale;
        }
        EXPECT_GE(icon.at(6.43, 14.96), 200) << "arrowhead x" << scale;
        EXPECT_GT(icon.inked(5.5, 6, 9, 11), 0) << "V x" << scale;
        EXPECT_GT(icon.inked(9, 6, 12.5, 11), 0) << "X x" << scale;
        EXPECT_EQ(icon.at(9, 13), 0) << "between monogram and gap x" << scale;
    }
}

TEST(StatusIconPainter, TheCountdownShowsItsNumberInPlaceOfTheMonogram) {
    Covered idle(kIdle, 2);
    Covered counting(kCountdown, 2);
    EXPECT_GE(counting.onRing(180), 128);
    // "VX" sits low and wide; a large "3" reaches well above and below it.
    for (auto [below, above] : {std::pair{5.0, 6.5}, {11.5, 13.5}}) {
        EXPECT_EQ(idle.inked(7, below, 11, above), 0) << below;
        EXPECT_GT(counting.inked(7, below, 11, above), 0) << below;
    }
}

TEST(StatusIconPainter, IdleIsLightOnADarkHaloAndTheTintedLooksAreRed) {
    struct Case {
        StatusButtonLook look;
        uint32_t ink;  // a fully covered pixel
        bool haloed;   // a dark rim just outside the drawing
    };
    for (const Case& c : {Case{kIdle, 0xFFF5F5F5, true}, Case{kRecording, 0xFFFF3B30, false},
                          Case{kCountdown, 0xFFFF3B30, false}}) {
        const painter::IconImage image = painter::paint(c.look, 1);
        ASSERT_EQ(image.side, 18);
        const auto pixel = [&](int x, int y) { return image.pixels.at(size_t(y) * 18 + x); };
        EXPECT_EQ(pixel(2, 9), c.ink) << c.look.toolTip;  // the ring's leftmost point
        const uint32_t rim = pixel(0, 9);
        EXPECT_EQ(rim >> 24 != 0, c.haloed) << c.look.toolTip;
        if (c.haloed) {
            EXPECT_EQ(rim & 0xFFFFFF, 0u) << "the halo is black";
        }
        EXPECT_EQ(pixel(0, 0), 0u) << "the corners stay clear";
    }
}

// VENTILUX_ICON_PNG_DIR=<folder> writes every look at both scales for a person to look at.
TEST(StatusIconPainter, WritesPngsWhenAskedTo) {
    const char* folder = std::getenv("VENTILUX_ICON_PNG_DIR");
    if (folder == nullptr) {
        GTEST_SKIP() << "set VENTILUX_ICON_PNG_DIR to a folder to get the PNGs";
    }
    std::filesystem::create_directories(folder);
    const std::vector<std::pair<std::string, StatusButtonLook>> looks{
        {"idle", kIdle},
        {"recording", kRecording},
        {"countdown-3", kCountdown},
        {"countdown-10",
         {StatusImage::icon, StatusImagePosition::imageLeading, " 10", StatusTint::systemRed,
          "Ventilux"}}};
    for (const auto& [name, look] : looks) {
        for (int scale : {1, 2}) {
            const auto file =
                std::filesystem::path(folder) / (name + "@" + std::to_string(scale) + "x.png");
            EXPECT_TRUE(painter::writePng(painter::paint(look, scale), file)) << file;
        }
    }
}

}  // namespace
}  // namespace vx

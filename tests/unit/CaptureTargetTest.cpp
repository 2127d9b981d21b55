#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "capture/CaptureTarget.h"
#include "platform/sim/SimPlatform.h"

namespace vx {
namespace {

using platform::sim::SimPlatform;

TEST(CaptureTarget, DisplayChoiceFallsBackToTheMainThenTheFirstDisplay) {
    const struct {
        std::vector<uint32_t> listed;
        uint32_t mainID, asked, chosen;
    } cases[] = {
        {{5, 7}, 7, 5, 5},  // the stored choice is present
        {{5, 7}, 7, 9, 7},  // unplugged: the main display
        {{5, 7}, 7, 0, 7},  // never chosen: the main display
        {{5, 7}, 8, 9, 5},  // main display not listed: the first one
        {{5, 7, 5}, 7, 5, 5},
    };
    for (const auto& c : cases) {
        SimPlatform sim;
        sim.screenCapture().content.displays.clear();
        for (uint32_t id : c.listed) {
            sim.screenCapture().content.displays.push_back({id, 100 + id, 50 + id});
        }
        sim.screenCapture().mainID = c.mainID;
        SCOPED_TRACE(c.asked);
        std::optional<CaptureTarget::DisplayResult> result;
        CaptureTarget::display(c.asked, [&](CaptureTarget::DisplayResult r) { result = r; });
        ASSERT_TRUE(result && result->has_value());
        EXPECT_EQ((*result)->displayID, c.chosen);
        EXPECT_EQ((*result)->width, 100 + c.chosen);
    }
}

TEST(CaptureTarget, EvenSizeRoundsHalvesUpThenDropsToEvenWithAFloorOfTwo) {
    const struct {
        int64_t width, height;
        double scale;
        int64_t evenWidth, evenHeight;
    } cases[] = {
        {1512, 982, 1, 1512, 982}, {1512, 982, 0.5, 756, 490}, {1440, 900, 0.75, 1080, 674},
        {1511, 983, 1, 1510, 982}, {5, 5, 0.5, 2, 2},          {1, 1, 0.25, 2, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CaptureTarget::evenSize(c.width, c.height, c.scale),
                  std::make_pair(c.evenWidth, c.evenHeight))
            << c.width << "x" << c.height << " at " << c.scale;
    }
}

TEST(CaptureTarget, EvenSizeIsNeverOddNorBelowTwoForAnyPositiveScale) {
    for (int64_t side : {1, 2, 3, 7, 99, 1079, 1080, 3839, 5120}) {
        for (double scale = 0.001; scale < 4.0; scale *= 1.07) {
            auto [width, height] = CaptureTarget::evenSize(side, side + 1, scale);
            const std::pair<int64_t, int64_t> sides[] = {{side, width}, {side + 1, height}};
            for (auto [original, result] : sides) {
                ASSERT_EQ(result % 2, 0) << original << " at " << scale;
                ASSERT_GE(result, 2) << original << " at " << scale;
                // At most one pixel below the rounded size, except at the floor.
                ASSERT_LE(std::llround(double(original) * scale) - result, 1) << original;
            }
        }
    }
}

TEST(CaptureTarget, ClockRoundsToWholeSecondsAndLetsMinutesGrowPastAnHour) {
    // Value, timescale, whether the time is a number at all; no timescale is none either.
    const std::tuple<int64_t, int32_t, bool, const char*> cases[] = {
        {0, 1, true, "0:00"},     {4, 10, true, "0:00"},    {5, 10, true, "0:01"},
        {595, 10, true, "1:00"},  {61, 1, true, "1:01"},    {90, 1, true, "1:30"},
        {600, 1, true, "10:00"},  {3725, 1, true, "62:05"}, {35996, 10, true, "60:00"},
        {3600, 1, true, "60:00"}, {0, 1, false, "0:00"},    {1, 0, true, "0:00"},
    };
    for (const auto& [value, timescale, numeric, text] : cases) {
        EXPECT_EQ(CaptureTarget::clock({value, timescale, numeric}), text)
            << value << "/" << timescale;
    }
}

}  // namespace
}  // namespace vx

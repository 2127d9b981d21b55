#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/SimStatusButton.h"

#include "menubar/StatusIcon.h"

namespace vx {
namespace {

using platform::StatusButtonLook;
using platform::StatusImage;
using platform::StatusImagePosition;
using platform::StatusTint;
using platform::sim::SimStatusButton;

const StatusButtonLook kIdle{StatusImage::icon, StatusImagePosition::imageOnly, "",
                             StatusTint::none, "Ventilux"};
const StatusButtonLook kRecording{StatusImage::icon, StatusImagePosition::imageOnly, "",
                                  StatusTint::systemRed,
                                  "Ventilux \u2014 recording (click to stop)"};

StatusButtonLook countdown(std::string title, std::string toolTip) {
    return {StatusImage::icon, StatusImagePosition::imageLeading, std::move(title),
            StatusTint::systemRed, std::move(toolTip)};
}

TEST(StatusIcon, EachStepSetsExactlyTheLookOfTheTable) {
    using Step = std::function<void(SimStatusButton*)>;
    auto idle = [](SimStatusButton* b) { StatusIcon::configureButton(b, false); };
    auto recording = [](SimStatusButton* b) { StatusIcon::configureButton(b, true); };
    auto counting = [](int64_t n) {
        return [n](SimStatusButton* b) { StatusIcon::showCountdown(b, n); };
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        StatusButtonLook expected;
    };
    const std::vector<Case> cases{
        {"idle", {idle}, kIdle},
        {"recording", {recording}, kRecording},
        {"recording twice", {recording, recording}, kRecording},
        {"counting from idle", {idle, counting(3)}, countdown(" 3", "Ventilux")},
        {"two digits", {idle, counting(10)}, countdown(" 10", "Ventilux")},
        {"the tool tip stays",
         {recording, counting(1)},
         countdown(" 1", "Ventilux \u2014 recording (click to stop)")},
        {"idle after a countdown", {idle, counting(2), idle}, kIdle},
    };
    for (const Case& c : cases) {
        SimStatusButton button;
        for (const Step& step : c.steps) {
            step(&button);
        }
        EXPECT_EQ(button.current, c.expected) << c.name;
        EXPECT_EQ(button.shown.size(), c.steps.size()) << c.name;
    }
}

TEST(StatusIcon, WithoutAButtonNothingHappens) {
    StatusIcon::configureButton(nullptr, true);
    StatusIcon::showCountdown(nullptr, 3);
}

}  // namespace
}  // namespace vx

#include <gtest/gtest.h>

#include "capture/AudioSources.h"
#include "platform/sim/SimPlatform.h"

namespace vx {
namespace {

using platform::MicrophoneAuthorization;
using platform::sim::SimPlatform;

TEST(AudioSources, EachInputAppearsOnceWhereItWasFirstListed) {
    SimPlatform sim;
    sim.audioDevices().present = {
        {"usb-1", "Desk Mic"},
        {"builtin", "Built-in"},
        {"usb-1", "Desk Mic (again)"},
        {"usb-2", "Desk Mic"},  // same name, another device: both stay
    };
    EXPECT_EQ(AudioSources::inputs(), (std::vector<AudioSources::Device>{
                                          {"usb-1", "Desk Mic"},
                                          {"builtin", "Built-in"},
                                          {"usb-2", "Desk Mic"},
                                      }));
    EXPECT_EQ(AudioSources::name("usb-1"), "Desk Mic");
    EXPECT_EQ(AudioSources::name("gone"), std::nullopt);

    sim.audioDevices().present.clear();
    EXPECT_TRUE(AudioSources::inputs().empty());
    EXPECT_EQ(AudioSources::name("usb-1"), std::nullopt) << "unplugged, though still stored";
}

TEST(AudioSources, AccessAsksTheUserOnlyWhileUndecided) {
    struct Case {
        MicrophoneAuthorization status;
        bool answer;
        bool granted;
        int prompts;
    };
    const Case cases[] = {
        {MicrophoneAuthorization::authorized, false, true, 0},
        {MicrophoneAuthorization::denied, true, false, 0},
        {MicrophoneAuthorization::restricted, true, false, 0},
        {MicrophoneAuthorization::notDetermined, true, true, 1},
        {MicrophoneAuthorization::notDetermined, false, false, 1},
    };
    for (const auto& c : cases) {
        SimPlatform sim;
        sim.audioDevices().authorization = c.status;
        sim.audioDevices().answerToRequest = c.answer;
        std::vector<bool> results;
        AudioSources::requestAccess([&](bool granted) { results.push_back(granted); });
        EXPECT_EQ(results, std::vector<bool>{c.granted});
        EXPECT_EQ(sim.audioDevices().accessRequests, c.prompts);
    }
}

}  // namespace
}  // namespace vx

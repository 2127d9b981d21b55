#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimPlatform.h"

#include "system/Hotkey.h"

namespace vx {
namespace {

using platform::HotkeyID;
using platform::sim::SimPlatform;

class HotkeyTest : public ::testing::Test {
  protected:
    // An action that notes the queue it ran on.
    std::function<void()> noting(const std::string& name) {
        return [this, name] { ran.push_back(name + "@" + sim.dispatch().currentQueueLabel()); };
    }
    std::optional<bool> pressOptionCommand5() { return sim.hotkeys().pressKeys(23, 0x0900); }

    SimPlatform sim;
    std::vector<std::string> ran;
};

TEST_F(HotkeyTest, APressRunsTheActionLaterAsAMainQueueJob) {
    EXPECT_FALSE(Hotkey::isRegistered());
    ASSERT_TRUE(Hotkey::registerHotkey(noting("a")));
    EXPECT_TRUE(Hotkey::isRegistered());
    ASSERT_EQ(sim.hotkeys().held.size(), 1u);
    const auto& held = sim.hotkeys().held.begin()->second;
    EXPECT_EQ(held.keyCode, 23u);
    EXPECT_EQ(held.modifiers, 0x0900u);
    EXPECT_EQ(held.id, (HotkeyID{0x56544C58, 1}));

    EXPECT_EQ(pressOptionCommand5(), true);
    EXPECT_TRUE(ran.empty()) << "the handler answers before the action runs";
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"a@main"});
}

TEST_F(HotkeyTest, RegisterUnregisterRegisterInstallsTheHandlerOnce) {
    ASSERT_TRUE(Hotkey::registerHotkey(noting("a")));
    Hotkey::unregister();
    EXPECT_FALSE(Hotkey::isRegistered());
    EXPECT_TRUE(sim.hotkeys().held.empty());
    EXPECT_EQ(pressOptionCommand5(), std::nullopt) << "released combinations reach nobody";
    Hotkey::unregister();  // nothing registered: no effect

    ASSERT_TRUE(Hotkey::registerHotkey(noting("b")));
    EXPECT_EQ(sim.hotkeys().handlerInstallations, 1);
    EXPECT_EQ(sim.hotkeys().registrationsMade, 2);
    pressOptionCommand5();
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"b@main"});
}

// Even a press already queued runs the action stored when its job runs.
TEST_F(HotkeyTest, ASecondRegisterOnlyReplacesTheAction) {
    ASSERT_TRUE(Hotkey::registerHotkey(noting("old")));
    pressOptionCommand5();
    EXPECT_TRUE(Hotkey::registerHotkey(noting("new")));
    EXPECT_EQ(sim.hotkeys().registrationsMade, 1);
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"new@main"});
}

TEST_F(HotkeyTest, ACombinationHeldElsewhereFailsUntilItIsFree) {
    sim.hotkeys().takenByOthers = true;
    EXPECT_FALSE(Hotkey::registerHotkey(noting("a")));
    EXPECT_FALSE(Hotkey::isRegistered());
    EXPECT_EQ(pressOptionCommand5(), std::nullopt);
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(ran.empty());

    sim.hotkeys().takenByOthers = false;
    EXPECT_TRUE(Hotkey::registerHotkey(noting("b")));
    EXPECT_EQ(sim.hotkeys().handlerInstallations, 1);
}

// Only the latest attempt counts: a desktop that gains global shortcuts, or
// an answer that changes to "taken", must not leave the old reason behind.
TEST_F(HotkeyTest, ADesktopWithoutGlobalShortcutsIsToldApartFromATakenCombination) {
    struct Step {
        bool unavailable;
        bool taken;
        bool registered;
        bool reportedUnavailable;
    };
    const std::vector<Step> steps{
        {true, true, false, true},
        {false, true, false, false},
        {true, false, false, true},
        {false, false, true, false},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        sim.hotkeys().unavailableOnThisDesktop = step.unavailable;
        sim.hotkeys().takenByOthers = step.taken;
        EXPECT_EQ(Hotkey::registerHotkey(noting("a")), step.registered) << "step " << i;
        EXPECT_EQ(Hotkey::isRegistered(), step.registered) << "step " << i;
        EXPECT_EQ(Hotkey::unavailableOnThisDesktop(), step.reportedUnavailable) << "step " << i;
    }
    EXPECT_EQ(pressOptionCommand5(), true);
}

// A desktop that answers later (a Wayland portal) gives the registration at
// once; its refusal arrives afterwards and is what the menu then reads.
TEST_F(HotkeyTest, ARegistrationTheDesktopTurnsDownLaterIsUnavailableUntilAskedAgain) {
    ASSERT_TRUE(Hotkey::registerHotkey(noting("a")));
    sim.hotkeys().refuseHeld(
        {platform::kHotkeyErrorDomain, platform::kNoGlobalShortcutsOnThisDesktop, "none here"});
    EXPECT_FALSE(Hotkey::isRegistered());
    EXPECT_TRUE(Hotkey::unavailableOnThisDesktop());
    EXPECT_EQ(pressOptionCommand5(), std::nullopt);

    ASSERT_TRUE(Hotkey::registerHotkey(noting("b"))) << "asked again, not taken as refused";
    EXPECT_FALSE(Hotkey::unavailableOnThisDesktop());
    pressOptionCommand5();
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"b@main"});
}

TEST_F(HotkeyTest, OnlyTheApplicationsSignatureIsHandledWhateverItsNumber) {
    ASSERT_TRUE(Hotkey::registerHotkey(noting("a")));
    struct Case {
        HotkeyID id;
        bool handled;
    };
    const std::vector<Case> cases{
        {{0x56544C58, 1}, true},
        {{0x56544C58, 2}, true},
        {{0x56544C59, 1}, false},  // "VTLY"
        {{0, 1}, false},
    };
    for (const Case& c : cases) {
        ran.clear();
        EXPECT_EQ(sim.hotkeys().deliverPress(c.id), c.handled) << c.id.signature;
        sim.dispatch().runUntilIdle();
        EXPECT_EQ(ran.size(), c.handled ? 1u : 0u) << c.id.signature;
    }
}

TEST_F(HotkeyTest, APressAlreadyQueuedRunsAfterUnregister) {
    ASSERT_TRUE(Hotkey::registerHotkey(noting("a")));
    pressOptionCommand5();
    Hotkey::unregister();
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"a@main"});
}

TEST_F(HotkeyTest, AHandlerThatCouldNotBeInstalledIsTriedAgainOnTheNextRegistration) {
    sim.hotkeys().handlerInstallSucceeds = false;
    EXPECT_TRUE(Hotkey::registerHotkey(noting("a"))) << "the shortcut is registered regardless";
    EXPECT_EQ(pressOptionCommand5(), std::nullopt);
    Hotkey::unregister();

    sim.hotkeys().handlerInstallSucceeds = true;
    ASSERT_TRUE(Hotkey::registerHotkey(noting("b")));
    EXPECT_EQ(sim.hotkeys().handlerInstallations, 1);
    pressOptionCommand5();
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"b@main"});
}

}  // namespace
}  // namespace vx

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
    pressOptionCommand5();
    Hotkey::unregister();
    EXPECT_FALSE(Hotkey::isRegistered());
    EXPECT_TRUE(sim.hotkeys().held.empty());
    EXPECT_EQ(pressOptionCommand5(), std::nullopt) << "released combinations reach nobody";
    Hotkey::unregister();  // nothing registered: no effect
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"a@main"}) << "a press queued before still runs";

    ASSERT_TRUE(Hotkey::registerHotkey(noting("b")));
    EXPECT_EQ(sim.hotkeys().handlerInstallations, 1);
    EXPECT_EQ(sim.hotkeys().registrationsMade, 2);
    pressOptionCommand5();
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"a@main", "b@main"}));
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

// A combination held elsewhere fails until it is free. Only the latest attempt
// counts: a desktop that gains global shortcuts, or an answer that changes to
// "taken", must not leave the old reason behind.
TEST_F(HotkeyTest, ADesktopWithoutGlobalShortcutsIsToldApartFromATakenCombination) {
    const struct {
        bool unavailable, taken, registered, reportedUnavailable;
    } steps[] = {
        {true, true, false, true},
        {false, true, false, false},
        {true, false, false, true},
        {false, false, true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(&step - steps);
        sim.hotkeys().unavailableOnThisDesktop = step.unavailable;
        sim.hotkeys().takenByOthers = step.taken;
        EXPECT_EQ(Hotkey::registerHotkey(noting("a")), step.registered);
        EXPECT_EQ(Hotkey::isRegistered(), step.registered);
        EXPECT_EQ(Hotkey::unavailableOnThisDesktop(), step.reportedUnavailable);
        EXPECT_EQ(pressOptionCommand5(), step.registered ? std::optional(true) : std::nullopt);
    }
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"a@main"}) << "only the press that reached it";
    EXPECT_EQ(sim.hotkeys().handlerInstallations, 1) << "installed at the first attempt";
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
    const struct {
        HotkeyID id;
        bool handled;
    } cases[] = {
        {{0x56544C58, 1}, true},
        {{0x56544C58, 2}, true},
        {{0x56544C59, 1}, false},  // "VTLY"
        {{0, 1}, false},
    };
    for (const auto& c : cases) {
        ran.clear();
        EXPECT_EQ(sim.hotkeys().deliverPress(c.id), c.handled) << c.id.signature;
        sim.dispatch().runUntilIdle();
        EXPECT_EQ(ran.size(), c.handled ? 1u : 0u) << c.id.signature;
    }
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

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "SimDesktop.h"

namespace vx {
namespace {

using platform::Menu;
using platform::MenuItem;
using platform::MicrophoneAuthorization;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using testing::TrayHarness;

const std::string kHotkey = "Hotkey  Alt+Super+5";
const std::string kTaken = "   Alt+Super+5 is taken by another app";

class StatusMenuTest : public testing::HarnessTest<TrayHarness> {
  protected:
    std::vector<std::string> checkedTitles(const Menu& menu) {
        std::vector<std::string> checked;
        for (const MenuItem& item : menu) {
            if (item.checked) {
                checked.push_back(item.title);
            }
        }
        return checked;
    }
    Menu submenu(const std::string& title) { return find(openMenu(), title).submenu; }
};

TEST_F(StatusMenuTest, TheTopLevelMenuOfEachModeWhileIdle) {
    sim.audioDevices().present = {{"mic-1", "USB Mic"}};
    sim.audioDevices().authorization = MicrophoneAuthorization::authorized;
    settings->setMicrophoneDeviceID("mic-1");
    launch();

    settings->setRealtimeMode(true);
    EXPECT_THAT(titles(openMenu()),
                ElementsAre("Start RealTime Recording", "---", "RealTime", "---", "Audio Source",
                            "Frame Rate", "Resolution", "Display", "Show Cursor", "Show Clicks",
                            "---", "Countdown", kHotkey, "Open Recordings Folder",
                            "Choose Recordings Folder\u2026", "---", "Launch at Login",
                            "Ventilux 0.1.0", "Quit Ventilux"));

    settings->setRealtimeMode(false);
    EXPECT_THAT(titles(openMenu()),
                ElementsAre("Start Time-Lapse", "---", "RealTime", "---", "Capture Interval",
                            "Playback Frame Rate", "Resolution", "Display", "Show Cursor", "---",
                            "\u2248 60\u00d7 speed-up", "Countdown", kHotkey,
                            "Open Recordings Folder", "Choose Recordings Folder\u2026", "---",
                            "Launch at Login", "Ventilux 0.1.0", "Quit Ventilux"));
}

TEST(StatusMenu, EachSituationSetsThePrimaryCommandAndWhatMayBeChanged) {
    const std::vector<std::string> idleOnly{
        "Capture Interval", "Playback Frame Rate",           "Resolution", "Display", "Show Cursor",
        "Countdown",        "Choose Recordings Folder\u2026"};
    const std::vector<std::string> always{kHotkey, "Open Recordings Folder", "Launch at Login",
                                          "Quit Ventilux"};
    // `second`: the line below the primary command, a running session's label.
    const struct {
        std::string situation, primary, key, second;
        bool realtimeEnabled, idleOnlyEnabled;
    } cases[] = {
        {"idle", "Start Time-Lapse", "r", "---", true, true},
        {"starting", "Start Time-Lapse", "r", "---", false, true},
        {"counting down", "Cancel Countdown", "r", "---", false, true},
        {"recording", "Stop Recording", "s", "Capturing every 2 s\u2026", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        TrayHarness tray;
        tray.launch();
        if (c.situation == "recording") {
            tray.startRecording();
        } else if (c.situation != "idle") {
            tray.settings->setCountdownSeconds(c.situation == "starting" ? 0 : 3);
            tray.controller->triggerRecording();
        }
        const Menu menu = tray.openMenu();
        EXPECT_EQ(menu.front().title, c.primary);
        EXPECT_EQ(menu.front().keyEquivalent, c.key);
        EXPECT_TRUE(menu.front().enabled);
        EXPECT_EQ(tray.titles(menu).at(1), c.second);
        EXPECT_EQ(menu[1].enabled, c.second == "---") << "a label informs only";
        EXPECT_TRUE(menu[1].action.empty());
        EXPECT_EQ(tray.find(menu, "RealTime").enabled, c.realtimeEnabled);
        for (const std::string& title : idleOnly) {
            EXPECT_EQ(tray.find(menu, title).enabled, c.idleOnlyEnabled) << title;
        }
        for (const std::string& title : always) {
            EXPECT_TRUE(tray.find(menu, title).enabled) << title;
        }
        EXPECT_FALSE(tray.find(menu, "Ventilux 0.1.0").enabled);
        EXPECT_FALSE(tray.find(menu, "\u2248 60\u00d7 speed-up").enabled);
    }
}

TEST_F(StatusMenuTest, AnIntervalIsCheckedOnlyWithinAThousandthOfASecond) {
    launch();
    EXPECT_THAT(titles(submenu("Capture Interval")),
                ElementsAre("Every 250 ms", "Every 500 ms", "Every 1 s", "Every 2 s", "Every 5 s",
                            "Every 10 s", "Every 30 s"));
    const struct {
        double interval;
        std::vector<std::string> checked;
    } cases[] = {
        {0.2505, {"Every 250 ms"}}, {0.252, {}}, {2, {"Every 2 s"}},
        {29.9995, {"Every 30 s"}},  {3, {}},
    };
    for (const auto& c : cases) {
        settings->setCaptureInterval(c.interval);
        EXPECT_EQ(checkedTitles(submenu("Capture Interval")), c.checked) << c.interval;
    }
}

TEST_F(StatusMenuTest, AScreenWithoutANumberHasNoLineButKeepsItsPosition) {
    sim.workspace().screenList = {{7, 1512.9, 982.4}, {std::nullopt, 800, 600}, {9, 2560, 1440}};
    sim.screenCapture().mainID = 7;
    settings->setDisplayID(7);
    launch();
    const Menu displays = submenu("Display");
    EXPECT_THAT(titles(displays), ElementsAre("Main Display", "Display 1  (1512\u00d7982)",
                                              "Display 3  (2560\u00d71440)"));
    EXPECT_THAT(checkedTitles(displays), ElementsAre("Main Display", "Display 1  (1512\u00d7982)"))
        << "the main display's own number checks both of its lines";
    std::vector<uint32_t> numbers;
    for (const MenuItem& item : displays) {
        EXPECT_EQ(item.action, "setDisplay:");
        numbers.push_back(std::get<uint32_t>(item.representedObject));
    }
    EXPECT_THAT(numbers, ElementsAre(0u, 7u, 9u));
}

TEST_F(StatusMenuTest, TheMicrophoneRepairLineFollowsThePermissionOfAChosenMicrophone) {
    const struct {
        std::optional<std::string> chosen;
        MicrophoneAuthorization permission;
        std::optional<std::string> line;
    } cases[] = {
        {"mic-1", MicrophoneAuthorization::notDetermined, "Allow Microphone Access\u2026"},
        {"mic-1", MicrophoneAuthorization::denied, "Microphone blocked \u2014 open Settings"},
        {"mic-1", MicrophoneAuthorization::restricted, "Microphone blocked \u2014 open Settings"},
        {"mic-1", MicrophoneAuthorization::authorized, std::nullopt},
        {std::nullopt, MicrophoneAuthorization::denied, std::nullopt},
        {std::nullopt, MicrophoneAuthorization::notDetermined, std::nullopt},
    };
    settings->setRealtimeMode(true);
    launch();
    for (const auto& c : cases) {
        settings->setMicrophoneDeviceID(c.chosen);
        sim.audioDevices().authorization = c.permission;
        const Menu menu = openMenu();
        const MenuItem& next = *(&find(menu, "Show Cursor") + 1);
        if (c.line) {
            EXPECT_EQ(next.title, *c.line);
            EXPECT_EQ(next.action, "fixMicrophone");
            EXPECT_TRUE(next.enabled);
        } else {
            EXPECT_EQ(next.title, "Show Clicks") << c.chosen.value_or("(none)");
        }
    }
}

TEST_F(StatusMenuTest, TheAudioSourceMenuListsEachMicrophoneOnceAndChecksOnlyAnExactMatch) {
    sim.audioDevices().present = {{"a", "Built-in"}, {"b", "USB Mic"}, {"a", "Built-in again"}};
    settings->setRealtimeMode(true);
    settings->setCapturesSystemAudio(true);
    launch();
    const struct {
        std::optional<std::string> chosen;
        std::vector<std::string> checked;
    } cases[] = {
        {std::nullopt, {"System Audio", "None"}},
        {"b", {"System Audio", "USB Mic"}},
        {"B", {"System Audio"}},
        {"gone", {"System Audio"}},
    };
    for (const auto& c : cases) {
        settings->setMicrophoneDeviceID(c.chosen);
        const Menu sources = submenu("Audio Source");
        EXPECT_THAT(titles(sources), ElementsAre("System Audio", "---", "Microphone", "None",
                                                 "Built-in", "USB Mic"));
        EXPECT_EQ(checkedTitles(sources), c.checked) << c.chosen.value_or("(none)");
        EXPECT_FALSE(find(sources, "Microphone").enabled);
    }
}

// Right below the wanted hot key, a line says why it does nothing. A desktop
// that gives no application a global shortcut is not another application's
// doing: the menu must not send the user looking for one.
TEST_F(StatusMenuTest, ALineBelowTheWantedHotKeyNamesWhatHoldsItBack) {
    const std::string unavailable = "   Alt+Super+5 is not available on this desktop";
    sim.hotkeys().takenByOthers = true;
    settings->setHotkeyEnabled(true);
    launch();
    Menu menu = openMenu();
    EXPECT_TRUE(find(menu, kHotkey).checked);
    EXPECT_EQ(&find(menu, kTaken), &find(menu, kHotkey) + 1);
    EXPECT_FALSE(find(menu, kTaken).enabled);
    EXPECT_EQ(find(menu, kTaken).toolTip, "");
    settings->setHotkeyEnabled(false);
    EXPECT_THAT(titles(openMenu()), Not(Contains(kTaken)));

    // As on Wayland: the registration is given at once and turned down later.
    sim.hotkeys().takenByOthers = false;
    ASSERT_TRUE(sim.statusBar().choose({kHotkey}));
    EXPECT_THAT(titles(openMenu()), Not(Contains(unavailable)));
    sim.hotkeys().unavailableOnThisDesktop = true;
    sim.hotkeys().refuseHeld(
        {platform::kHotkeyErrorDomain, platform::kNoGlobalShortcutsOnThisDesktop, "none here"});
    menu = openMenu();
    EXPECT_THAT(titles(menu), Not(Contains(kTaken)));
    ASSERT_THAT(titles(menu), Contains(unavailable));
    EXPECT_FALSE(find(menu, unavailable).enabled);
    EXPECT_EQ(&find(menu, unavailable), &find(menu, kHotkey) + 1);

    // Off and on again once the desktop can give it: no warning at all.
    sim.hotkeys().unavailableOnThisDesktop = false;
    ASSERT_TRUE(sim.statusBar().choose({kHotkey}));
    ASSERT_TRUE(sim.statusBar().choose({kHotkey}));
    EXPECT_THAT(titles(openMenu()), Not(Contains(unavailable)));
    EXPECT_TRUE(sim.hotkeys().pressKeys(23, 0x0900).has_value());
}

TEST_F(StatusMenuTest, SpeedUpAndVersionLinesFromTheirInputs) {
    const struct {
        double interval;
        int64_t fps;
        std::string version, speedup, versionLine;
    } cases[] = {
        {3.5, 17, "0.1.0", "\u2248 60\u00d7 speed-up", "Ventilux 0.1.0"},  // 59.5 rounds up
        {0.25, 12, "2.3", "\u2248 3\u00d7 speed-up", "Ventilux 2.3"},
        {2, 30, "", "\u2248 60\u00d7 speed-up", "Ventilux 1.0"},
    };
    launch();
    for (const auto& c : cases) {
        settings->setCaptureInterval(c.interval);
        settings->setPlaybackFPS(c.fps);
        sim.app().appVersion = c.version;
        const std::vector<std::string> seen = titles(openMenu());
        EXPECT_THAT(seen, Contains(c.speedup)) << c.interval << " x " << c.fps;
        EXPECT_EQ(seen[seen.size() - 2], c.versionLine);
    }
}

}  // namespace
}  // namespace vx

#include "menubar/StatusMenu.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Services.h"

#include "capture/AudioSources.h"
#include "capture/Recorder.h"
#include "menubar/MenuAction.h"
#include "settings/Settings.h"
#include "system/Hotkey.h"
#include "system/LoginItem.h"

namespace vx::StatusMenu {

namespace {

using platform::Menu;
using platform::MenuItem;
using platform::RepresentedObject;

constexpr double kMatchTolerance = 0.001;

// Everything the enabled rules depend on, read once per opening.
struct Situation {
    bool recording;
    bool busy;  // starting, recording or finishing
    bool countingDown;
    bool realtime;
};

MenuItem command(std::string title, std::string_view action, bool checked = false,
                 RepresentedObject object = {}) {
    MenuItem item;
    item.title = std::move(title);
    item.action = action;
    item.checked = checked;
    item.representedObject = std::move(object);
    return item;
}

// A line that only informs: no action, never enabled.
MenuItem note(std::string title) {
    MenuItem item;
    item.title = std::move(title);
    item.enabled = false;
    return item;
}

MenuItem parent(std::string title, Menu submenu, bool enabled) {
    MenuItem item;
    item.title = std::move(title);
    item.enabled = enabled;
    item.submenu = std::move(submenu);
    return item;
}

bool near(double a, double b) {
    return std::abs(a - b) < kMatchTolerance;
}

// Screen sizes come from the desktop: whatever it reports must give a title.
int64_t truncated(double points) {
    if (!std::isfinite(points) || std::abs(points) >= 9.0e18) {
        return 0;
    }
    return static_cast<int64_t>(points);
}

std::string wholeNumber(double value) {
    char text[400];
    auto written = std::to_chars(std::begin(text), std::end(text), std::round(value),
                                 std::chars_format::fixed, 0);
    return std::string(text, written.ptr);
}

MenuItem primaryCommand(const Situation& now) {
    std::string title = now.countingDown ? "Cancel Countdown"
                        : now.recording  ? "Stop Recording"
                        : now.realtime   ? "Start RealTime Recording"
                                         : "Start Time-Lapse";
    MenuItem item = command(std::move(title), MenuAction::triggerRecording);
    item.keyEquivalent = now.recording ? "s" : "r";
    return item;
}

Menu intervalMenu(const Settings& settings) {
    Menu menu;
    for (double seconds : {0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 30.0}) {
        std::string title = seconds < 1
                                ? std::to_string(static_cast<int64_t>(seconds * 1000)) + " ms"
                                : std::to_string(static_cast<int64_t>(seconds)) + " s";
        menu.push_back(command("Every " + title, MenuAction::setInterval,
                               near(settings.captureInterval(), seconds), seconds));
    }
    return menu;
}

Menu frameRateMenu(std::initializer_list<int64_t> rates, int64_t current, std::string_view action) {
    Menu menu;
    for (int64_t fps : rates) {
        menu.push_back(command(std::to_string(fps) + " fps", action, current == fps, fps));
    }
    return menu;
}

Menu audioSourceMenu(const Settings& settings) {
    const std::optional<std::string> chosen = settings.microphoneDeviceID();
    Menu menu{
        command("System Audio", MenuAction::toggleSystemAudio, settings.capturesSystemAudio()),
        MenuItem::makeSeparator(),
        note("Microphone"),
        command("None", MenuAction::setMicrophone, !chosen.has_value(), std::string()),
    };
    for (const AudioSources::Device& device : AudioSources::inputs()) {
        menu.push_back(
            command(device.name, MenuAction::setMicrophone, chosen == device.id, device.id));
    }
    return menu;
}

Menu resolutionMenu(const Settings& settings) {
    const std::pair<const char*, double> scales[] = {
        {"Native", 1.0}, {"75%", 0.75}, {"50%", 0.5}, {"25%", 0.25}};
    Menu menu;
    for (const auto& [title, scale] : scales) {
        menu.push_back(
            command(title, MenuAction::setScale, near(settings.resolutionScale(), scale), scale));
    }
    return menu;
}

Menu displayMenu(const Settings& settings) {
    const uint32_t chosen = settings.displayID();
    const uint32_t mainDisplay = platform::services().screenCapture->mainDisplayID();
    Menu menu{command("Main Display", MenuAction::setDisplay, chosen == 0 || chosen == mainDisplay,
                      uint32_t{0})};
    const std::vector<platform::ScreenInfo> screens = platform::services().workspace->screens();
    for (size_t i = 0; i < screens.size(); ++i) {
        const platform::ScreenInfo& screen = screens[i];
        if (!screen.displayNumber) {
            continue;  // its position still counts, so the numbers match the desktop's
        }
        std::string title = "Display " + std::to_string(i + 1) + "  (" +
                            std::to_string(truncated(screen.widthPoints)) + "\u00d7" +
                            std::to_string(truncated(screen.heightPoints)) + ")";
        menu.push_back(command(std::move(title), MenuAction::setDisplay,
                               chosen == *screen.displayNumber, *screen.displayNumber));
    }
    return menu;
}

Menu countdownMenu(const Settings& settings) {
    Menu menu;
    for (int64_t seconds : {0, 3, 5, 10}) {
        menu.push_back(command(seconds == 0 ? "Off" : std::to_string(seconds) + " s",
                               MenuAction::setCountdown, settings.countdownSeconds() == seconds,
                               seconds));
    }
    return menu;
}

// Shown only while a chosen microphone cannot be recorded yet.
std::optional<MenuItem> microphoneRepairLine(const Settings& settings) {
    if (!settings.microphoneDeviceID()) {
        return std::nullopt;
    }
    switch (platform::services().audioDevices->authorizationStatus()) {
        case platform::MicrophoneAuthorization::notDetermined:
            return command("Allow Microphone Access\u2026", MenuAction::fixMicrophone);
        case platform::MicrophoneAuthorization::restricted:
        case platform::MicrophoneAuthorization::denied:
            return command("Microphone blocked \u2014 open Settings", MenuAction::fixMicrophone);
        case platform::MicrophoneAuthorization::authorized:
            break;
    }
    return std::nullopt;
}

MenuItem hotkeyLine(const Settings& settings) {
    MenuItem item = command("Hotkey  " + std::string(Hotkey::displayName), MenuAction::toggleHotkey,
                            settings.hotkeyEnabled());
    item.toolTip = "Start and stop from any app.";
    return item;
}

MenuItem versionLine() {
    std::string version = platform::services().app->version();
    return note("Ventilux " + (version.empty() ? std::string("1.0") : version));
}

}  // namespace

Menu build(const Settings& settings, const Recorder& recorder, bool countingDown) {
    const Situation now{recorder.isRecording(), recorder.isBusy(), countingDown,
                        settings.realtimeMode()};
    const bool idle = !now.recording;

    Menu menu{primaryCommand(now)};
    if (std::optional<std::string> label = recorder.sessionLabel()) {
        menu.push_back(note(*label));
    }
    menu.push_back(MenuItem::makeSeparator());

    MenuItem realtime = command("RealTime", MenuAction::toggleRealtime, now.realtime);
    // Switching replaces the recorder, which must not happen while it is busy.
    realtime.enabled = !now.busy && !now.countingDown;
    realtime.toolTip = "Record the screen at full speed with audio, instead of a time-lapse.";
    menu.push_back(std::move(realtime));
    menu.push_back(MenuItem::makeSeparator());

    if (now.realtime) {
        menu.push_back(parent("Audio Source", audioSourceMenu(settings), idle));
        menu.push_back(parent(
            "Frame Rate",
            frameRateMenu({30, 60}, settings.realtimeFPS(), MenuAction::setRealtimeFPS), idle));
    } else {
        menu.push_back(parent("Capture Interval", intervalMenu(settings), idle));
        menu.push_back(parent(
            "Playback Frame Rate",
            frameRateMenu({12, 15, 24, 30, 60}, settings.playbackFPS(), MenuAction::setFPS), idle));
    }
    menu.push_back(parent("Resolution", resolutionMenu(settings), idle));
    menu.push_back(parent("Display", displayMenu(settings), idle));

    MenuItem cursor = command("Show Cursor", MenuAction::toggleCursor, settings.showsCursor());
    cursor.enabled = idle;
    menu.push_back(std::move(cursor));

    if (now.realtime) {
        if (std::optional<MenuItem> repair = microphoneRepairLine(settings)) {
            menu.push_back(std::move(*repair));
        }
        MenuItem clicks =
            command("Show Clicks", MenuAction::toggleClicks, settings.showsMouseClicks());
        clicks.enabled = idle;
        clicks.toolTip = "Draw a ring where you click.";
        menu.push_back(std::move(clicks));
        menu.push_back(MenuItem::makeSeparator());
    } else {
        menu.push_back(MenuItem::makeSeparator());
        menu.push_back(note("\u2248 " + wholeNumber(settings.speedupFactor()) + "\u00d7 speed-up"));
    }

    menu.push_back(parent("Countdown", countdownMenu(settings), idle));
    menu.push_back(hotkeyLine(settings));
    if (settings.hotkeyEnabled() && !Hotkey::isRegistered()) {
        menu.push_back(
            note("   " + std::string(Hotkey::displayName) +
                 (Hotkey::unavailableOnThisDesktop() ? " is not available on this desktop"
                                                     : " is taken by another app")));
    }
    menu.push_back(command("Open Recordings Folder", MenuAction::openFolder));
    if (platform::services().folderChooser->isAvailable()) {
        MenuItem choose = command("Choose Recordings Folder\u2026", MenuAction::chooseFolder);
        choose.enabled = idle;
        menu.push_back(std::move(choose));
    }
    menu.push_back(MenuItem::makeSeparator());
    menu.push_back(command("Launch at Login", MenuAction::toggleLogin, LoginItem::isEnabled()));
    menu.push_back(versionLine());

    MenuItem quit = command("Quit Ventilux", MenuAction::quit);
    quit.keyEquivalent = "q";
    menu.push_back(std::move(quit));
    return menu;
}

}  // namespace vx::StatusMenu

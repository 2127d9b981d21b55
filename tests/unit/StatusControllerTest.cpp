#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "SimDesktop.h"
#include "realtime/RealtimeRecorder.h"
#include "system/Hotkey.h"
#include "timelapse/TimelapseRecorder.h"

namespace vx {
namespace {

using platform::MenuItem;
using platform::MicrophoneAuthorization;
using platform::NotificationAuthorization;
using platform::PrivacyPane;
using platform::RepresentedObject;
using platform::StatusTint;
using ::testing::ElementsAre;
using testing::TrayHarness;

const std::string kMicrophoneBlocked =
    "Microphone is blocked for Ventilux \u2014 turn it on in System Settings.";
const std::string kNoTrayShown =
    "This desktop shows no tray icons: start and stop recordings with ventilux --toggle, or bind "
    "it to a keyboard shortcut.";

// An item as a tray might send it, whatever the menu holds.
MenuItem item(std::string action, RepresentedObject object = {}) {
    MenuItem made;
    made.action = std::move(action);
    made.representedObject = std::move(object);
    return made;
}

// What the notifications said; every one is titled with the product's name.
std::vector<std::string> bodies(TrayHarness& tray) {
    std::vector<std::string> seen;
    for (const auto& delivered : tray.sim.notifications().delivered) {
        EXPECT_EQ(delivered.title, "Ventilux");
        seen.push_back(delivered.body);
    }
    return seen;
}

class StatusControllerTest : public testing::HarnessTest<TrayHarness> {
  protected:
    std::vector<std::string> titlesShown() {
        std::vector<std::string> shown;
        for (const auto& l : sim.statusBar().button().shown) {
            shown.push_back(l.tint == StatusTint::systemRed && l.title.empty() ? "recording"
                            : l.title.empty()                                  ? "idle"
                                                                               : l.title);
        }
        return shown;
    }
};

// A second trigger within the countdown cancels it; a stop never counts down.
TEST_F(StatusControllerTest, TheTriggerCountsDownFromTheSetSecondsThenStartsAndStopsAtOnce) {
    settings->setCountdownSeconds(3);
    launch();
    controller->triggerRecording();
    sim.dispatch().advance(1);
    controller->triggerRecording();
    sim.dispatch().advance(10);
    EXPECT_FALSE(recording());
    EXPECT_EQ(openMenu().front().title, "Start Time-Lapse");

    settings->setCountdownSeconds(10);
    controller->triggerRecording();
    EXPECT_EQ(openMenu().front().title, "Cancel Countdown");
    sim.dispatch().advance(9.5);
    EXPECT_FALSE(recording());
    EXPECT_TRUE(sim.movieWriters().movies.empty());
    sim.dispatch().advance(0.5);
    EXPECT_TRUE(recording());
    EXPECT_EQ(openMenu().front().title, "Stop Recording");
    controller->triggerRecording();
    sim.dispatch().runUntilIdle();
    EXPECT_FALSE(recording());
    EXPECT_THAT(titlesShown(),
                ElementsAre("idle", " 3", " 2", "idle", " 10", " 9", " 8", " 7", " 6", " 5", " 4",
                            " 3", " 2", " 1", "idle", "recording", "idle"));
    EXPECT_EQ(sim.movieWriters().movies.size(), 1u);
}

TEST_F(StatusControllerTest, TheModeSwitchReplacesTheRecorderOnlyWhileIdle) {
    launch();
    auto timelapse = controller->activeRecorder();
    settings->setCountdownSeconds(0);
    controller->triggerRecording();
    sim.statusBar().activate(item("toggleRealtime"));  // while the start is being set up
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(recording());
    EXPECT_EQ(openMenu().front().title, "Stop Recording");
    sim.statusBar().activate(item("toggleRealtime"));
    EXPECT_FALSE(settings->realtimeMode());
    EXPECT_EQ(controller->activeRecorder(), timelapse);

    controller->triggerRecording();
    sim.dispatch().runUntilIdle();
    ASSERT_TRUE(sim.statusBar().choose({"RealTime"}));
    EXPECT_TRUE(settings->realtimeMode());
    EXPECT_NE(dynamic_cast<RealtimeRecorder*>(controller->activeRecorder().get()), nullptr);

    // The new recorder is wired: its outcome reaches the tray. Without a
    // countdown the button goes straight from idle to recording.
    startRecording();
    EXPECT_TRUE(recording());
    EXPECT_THAT(titlesShown(), ElementsAre("idle", "recording", "idle", "idle", "recording"));
}

TEST(StatusController, AStoppedMovieIsReportedAndShownByTheKindOfItsRecorder) {
    for (const bool realtime : {false, true}) {
        for (const bool byMenu : {false, true}) {
            SCOPED_TRACE(std::string(realtime ? "real-time" : "time-lapse") +
                         (byMenu ? ", menu switch" : ", another copy"));
            TrayHarness tray;
            tray.settings->setRealtimeMode(realtime);
            tray.launch();
            tray.startRecording();
            tray.controller->triggerRecording();
            // Between the stop and the finish of the movie.
            if (byMenu) {
                tray.sim.statusBar().activate(item("toggleRealtime"));
            } else {
                tray.settings->setRealtimeMode(!realtime);
            }
            tray.sim.dispatch().runUntilIdle();
            const std::filesystem::path file =
                realtime ? tray.sim.recordingStreams().recordings.at(0)->recording.outputURL
                         : tray.sim.movieWriters().movies.at(0)->file;
            EXPECT_THAT(bodies(tray), ElementsAre((realtime ? "Saved 0:00 recording\n"
                                                            : "Saved 1-frame time-lapse\n") +
                                                  file.filename().string()));
            EXPECT_EQ(tray.sim.workspace().revealedFiles,
                      realtime ? std::vector{file} : std::vector<std::filesystem::path>{});
        }
    }
}

TEST(StatusController, TheRecorderThatStartsIsTheOneTheMenuNamesAfterAChangeElsewhere) {
    for (const int64_t countdown : {0, 3}) {
        TrayHarness tray;
        tray.settings->setCountdownSeconds(countdown);
        tray.launch();
        tray.settings->setRealtimeMode(true);  // by hand in the file, or by another copy
        EXPECT_EQ(tray.openMenu().front().title, "Start RealTime Recording");
        tray.controller->triggerRecording();
        tray.sim.dispatch().advance(static_cast<double>(countdown));
        EXPECT_TRUE(tray.recording()) << countdown;
        EXPECT_EQ(tray.sim.recordingStreams().recordings.size(), 1u) << countdown;
        EXPECT_TRUE(tray.sim.movieWriters().movies.empty()) << countdown;
    }
}

TEST(StatusController, EveryChoiceInTheMenuReachesItsSetting) {
    const struct {
        bool realtime;
        std::vector<std::string> path;
        const char* key;
        platform::DefaultsValue stored;
    } cases[] = {
        {false, {"Capture Interval", "Every 500 ms"}, "captureInterval", 0.5},
        {false, {"Playback Frame Rate", "24 fps"}, "playbackFPS", int64_t{24}},
        {false, {"Resolution", "50%"}, "resolutionScale", 0.5},
        {false, {"Display", "Display 1  (1280\u00d7800)"}, "displayID", int64_t{4}},
        {false, {"Countdown", "5 s"}, "countdownSeconds", int64_t{5}},
        {false, {"Show Cursor"}, "showsCursor", false},
        {true, {"Frame Rate", "30 fps"}, "realtimeFPS", int64_t{30}},
        {true, {"Audio Source", "USB Mic"}, "microphoneDeviceID", std::string("usb-1")},
        {true, {"Audio Source", "System Audio"}, "capturesSystemAudio", false},
        {true, {"Show Clicks"}, "showsMouseClicks", false},
    };
    for (const auto& c : cases) {
        TrayHarness tray;
        tray.sim.audioDevices().present = {{"usb-1", "USB Mic"}};
        tray.sim.workspace().screenList = {{4, 1280, 800}};
        tray.settings->setRealtimeMode(c.realtime);
        tray.settings->setCapturesSystemAudio(true);
        tray.launch();
        EXPECT_TRUE(tray.sim.statusBar().choose(c.path)) << c.path.back();
        EXPECT_EQ(tray.sim.defaults().value(c.key), c.stored) << c.path.back();
    }
}

TEST_F(StatusControllerTest, AValueOfAnotherTypeOrNoneChangesNothing) {
    launch();
    const std::vector<MenuItem> wrong{
        item("setInterval:", int64_t{5}),
        item("setInterval:"),
        item("setFPS:", 60.0),
        item("setRealtimeFPS:", uint32_t{60}),
        item("setScale:", std::string("0.5")),
        item("setDisplay:", int64_t{2}),
        item("setCountdown:", uint32_t{5}),
        item("setMicrophone:"),
        item("setMicrophone:", int64_t{0}),
        item("noSuchAction", 1.0),
    };
    settings->setMicrophoneDeviceID("kept");
    const auto before = sim.defaults().stored;
    for (const MenuItem& chosen : wrong) {
        sim.statusBar().activate(chosen);
    }
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(sim.defaults().stored, before);
    EXPECT_EQ(sim.audioDevices().accessRequests, 0);
}

TEST_F(StatusControllerTest, AMessageWithoutAFileIsItsTextAloneUnderItsOwnRandomIdentifier) {
    settings->setRealtimeMode(true);
    launch();
    for (int i = 0; i < 20; ++i) {
        controller->activeRecorder()->onMessage("Saved 0:05 recording", std::nullopt);
    }
    EXPECT_EQ(bodies(*this), std::vector<std::string>(20, "Saved 0:05 recording"));
    EXPECT_TRUE(sim.workspace().revealedFiles.empty()) << "nothing to show";
    const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> identifiers;
    for (const auto& delivered : sim.notifications().delivered) {
        EXPECT_TRUE(std::regex_match(delivered.identifier, uuid)) << delivered.identifier;
        identifiers.insert(delivered.identifier);
    }
    EXPECT_EQ(identifiers.size(), 20u);
}

TEST(StatusController, NotificationsAreShownOnlyWhenTheUserAllowsThem) {
    const struct {
        NotificationAuthorization status;
        bool answer, asked, shown;
    } cases[] = {
        {NotificationAuthorization::notDetermined, true, true, true},
        {NotificationAuthorization::authorized, true, true, true},
        {NotificationAuthorization::notDetermined, false, true, false},
        {NotificationAuthorization::denied, true, false, false},
        {NotificationAuthorization::provisional, true, false, false},
        {NotificationAuthorization::ephemeral, true, false, false},
    };
    for (const auto& c : cases) {
        TrayHarness tray;
        tray.sim.notifications().status = c.status;
        tray.sim.notifications().answerToRequest = c.answer;
        tray.settings->setRealtimeMode(true);
        tray.launch();
        tray.controller->activeRecorder()->onMessage("Saved", "/tmp/a.mov");
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(tray.sim.notifications().authorizationRequests, c.asked ? 1 : 0);
        EXPECT_EQ(tray.sim.notifications().delivered.size(), c.shown ? 1u : 0u);
        EXPECT_EQ(tray.sim.workspace().revealedFiles.size(), 1u) << "shown whatever the answer";
        EXPECT_TRUE(tray.sim.log().lines.empty()) << "no trace of a dropped message";
    }
}

TEST(StatusController, ChoosingAMicrophoneStoresItAndRepairsThePermission) {
    const struct {
        MicrophoneAuthorization permission;
        bool answer;
        int requests;
        bool blocked;
    } cases[] = {
        {MicrophoneAuthorization::authorized, true, 0, false},
        {MicrophoneAuthorization::notDetermined, true, 1, false},
        {MicrophoneAuthorization::notDetermined, false, 1, true},
        {MicrophoneAuthorization::denied, true, 0, true},
        {MicrophoneAuthorization::restricted, true, 0, true},
    };
    for (const auto& c : cases) {
        TrayHarness tray;
        tray.sim.audioDevices().authorization = c.permission;
        tray.sim.audioDevices().answerToRequest = c.answer;
        tray.launch();
        tray.sim.statusBar().activate(item("setMicrophone:", std::string("usb-1")));
        tray.sim.dispatch().runUntilIdle();
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(tray.settings->microphoneDeviceID(), "usb-1");
        EXPECT_EQ(tray.sim.audioDevices().accessRequests, c.requests);
        EXPECT_EQ(tray.sim.workspace().activations, c.requests) << "in front for the question";
        EXPECT_EQ(tray.sim.workspace().openedPanes,
                  c.blocked ? std::vector<PrivacyPane>{PrivacyPane::microphone}
                            : std::vector<PrivacyPane>{});
        EXPECT_EQ(bodies(tray),
                  c.blocked ? std::vector{kMicrophoneBlocked} : std::vector<std::string>{});
    }
}

TEST_F(StatusControllerTest, NoMicrophoneAsksForNothingAndTheRepairLineAsksOrOpensSettings) {
    sim.audioDevices().authorization = MicrophoneAuthorization::denied;
    settings->setMicrophoneDeviceID("usb-1");
    settings->setRealtimeMode(true);
    launch();
    ASSERT_TRUE(sim.statusBar().choose({"Microphone blocked \u2014 open Settings"}));
    EXPECT_THAT(sim.workspace().openedPanes, ElementsAre(PrivacyPane::microphone));

    sim.audioDevices().authorization = MicrophoneAuthorization::notDetermined;
    ASSERT_TRUE(sim.statusBar().choose({"Allow Microphone Access\u2026"}));
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(sim.audioDevices().accessRequests, 1);

    ASSERT_TRUE(sim.statusBar().choose({"Audio Source", "None"}));
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(settings->microphoneDeviceID(), std::nullopt);
    EXPECT_EQ(sim.audioDevices().accessRequests, 1);
    EXPECT_EQ(sim.workspace().openedPanes.size(), 1u);
}

TEST_F(StatusControllerTest, TheHotKeySwitchRegistersTheTriggerAndTheMenuTellsWhenItIsTaken) {
    launch();
    ASSERT_TRUE(sim.statusBar().choose({"Hotkey  Alt+Super+5"}));
    EXPECT_TRUE(settings->hotkeyEnabled());
    EXPECT_TRUE(Hotkey::isRegistered());
    settings->setCountdownSeconds(0);
    sim.hotkeys().pressKeys(Hotkey::kKeyCode, Hotkey::kModifiers);
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(recording());

    ASSERT_TRUE(sim.statusBar().choose({"Hotkey  Alt+Super+5"}));
    EXPECT_FALSE(settings->hotkeyEnabled());
    EXPECT_FALSE(Hotkey::isRegistered());

    // Taken elsewhere: the setting stays on and the menu tells why nothing happens.
    sim.hotkeys().takenByOthers = true;
    ASSERT_TRUE(sim.statusBar().choose({"Hotkey  Alt+Super+5"}));
    EXPECT_TRUE(settings->hotkeyEnabled());
    EXPECT_THAT(titles(openMenu()), ::testing::Contains("   Alt+Super+5 is taken by another app"));
}

TEST_F(StatusControllerTest, TheRecordingsFolderIsCreatedWhenMissingAndOpenedEvenWhenNot) {
    launch();
    ASSERT_TRUE(sim.statusBar().choose({"Open Recordings Folder"}));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_THAT(sim.workspace().openedFolders, ElementsAre(folder));

    const std::filesystem::path blocked = folder / "a-file" / "inside";
    std::ofstream(folder / "a-file") << "x";
    settings->setOutputDirectory(blocked);
    ASSERT_TRUE(sim.statusBar().choose({"Open Recordings Folder"}));
    EXPECT_THAT(sim.workspace().openedFolders, ElementsAre(folder, blocked));
}

TEST_F(StatusControllerTest, LaunchAtLoginAndQuitAreCarriedOut) {
    launch();
    ASSERT_TRUE(sim.statusBar().choose({"Launch at Login"}));
    EXPECT_TRUE(find(openMenu(), "Launch at Login").checked);
    ASSERT_TRUE(sim.statusBar().choose({"Launch at Login"}));
    EXPECT_FALSE(find(openMenu(), "Launch at Login").checked);
    ASSERT_TRUE(sim.statusBar().choose({"Quit Ventilux"}));
    EXPECT_EQ(quitRequests, 1);
}

TEST_F(StatusControllerTest, WithoutATrayOrNotificationsTheHotKeyStillRecords) {
    platform::services().statusBar.reset();
    platform::services().notifications.reset();
    settings->setHotkeyEnabled(true);
    settings->setCountdownSeconds(3);
    launch();
    sim.hotkeys().pressKeys(Hotkey::kKeyCode, Hotkey::kModifiers);
    sim.dispatch().advance(3);
    EXPECT_TRUE(recording());
    controller->triggerRecording();
    sim.dispatch().advance(60);
    EXPECT_FALSE(recording());
    EXPECT_THAT(sim.log().lines, ElementsAre("Ventilux: " + kNoTrayShown));
}

// A tray that never shows the icon leaves the user nothing to click: once, a
// few seconds after the start, the user is told how to record without it.
TEST(StatusController, WithoutATrayShowingTheIconTheUserIsToldHowToRecordOnce) {
    for (bool shown : {true, false}) {
        TrayHarness tray;
        tray.sim.statusBar().showsItems = shown;
        tray.launch();
        tray.sim.dispatch().advance(4.9);
        EXPECT_TRUE(tray.sim.notifications().delivered.empty()) << "a tray may still come";
        tray.sim.dispatch().advance(60);
        EXPECT_EQ(bodies(tray), shown ? std::vector<std::string>{} : std::vector{kNoTrayShown});
        EXPECT_EQ(tray.sim.log().lines.size(), shown ? 0u : 1u) << shown;
    }
}

// Another process's requests, in each situation the menu's first item knows.
TEST(StatusController, ARequestFromAnotherProcessDoesItsPartOfTheTriggerOrNothing) {
    using platform::RemoteRequest;
    using platform::RemoteState;
    const RemoteState idle{false, false};
    const RemoteState countingDown{false, true};
    const RemoteState recordingNow{true, false};
    const struct {
        RemoteState before;
        RemoteRequest request;
        RemoteState after;
        std::string primary;
    } cases[] = {
        {idle, RemoteRequest::toggle, countingDown, "Cancel Countdown"},
        {idle, RemoteRequest::start, countingDown, "Cancel Countdown"},
        {idle, RemoteRequest::stop, idle, "Start Time-Lapse"},
        {countingDown, RemoteRequest::toggle, idle, "Start Time-Lapse"},
        {countingDown, RemoteRequest::start, countingDown, "Cancel Countdown"},
        {countingDown, RemoteRequest::stop, countingDown, "Cancel Countdown"},
        {recordingNow, RemoteRequest::toggle, idle, "Start Time-Lapse"},
        {recordingNow, RemoteRequest::start, recordingNow, "Stop Recording"},
        {recordingNow, RemoteRequest::stop, idle, "Start Time-Lapse"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TrayHarness tray;
        tray.launch();
        if (c.before == recordingNow) {
            tray.startRecording();
        }
        tray.settings->setCountdownSeconds(3);
        if (c.before == countingDown) {
            tray.controller->triggerRecording();
            tray.sim.dispatch().advance(1);
        }
        ASSERT_EQ(tray.sim.remoteControl().published.back(), c.before);
        ASSERT_TRUE(tray.sim.remoteControl().request(c.request));
        tray.sim.dispatch().runUntilIdle();
        EXPECT_EQ(tray.sim.remoteControl().published.back(), c.after);
        EXPECT_EQ(tray.openMenu().front().title, c.primary);
    }
}

TEST(StatusController, TheChosenRecordingsFolderIsStoredAndACancelChangesNothing) {
    const std::string item = "Choose Recordings Folder\u2026";
    const struct {
        bool available;
        std::optional<std::filesystem::path> answer;
    } cases[] = {
        {true, "/home/u/Videos/Time-lapses"},
        {true, std::nullopt},
        {false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TrayHarness tray;
        tray.sim.folderChooser().available = c.available;
        tray.launch();
        const std::filesystem::path before = tray.settings->outputDirectory();
        EXPECT_EQ(tray.sim.statusBar().choose({item}), c.available);
        EXPECT_EQ(tray.sim.folderChooser().openedAt,
                  c.available ? std::vector{before} : std::vector<std::filesystem::path>{})
            << "opened at the present folder";
        tray.sim.folderChooser().answer(c.answer);
        EXPECT_EQ(tray.settings->outputDirectory(), c.answer.value_or(before));
    }
}

TEST_F(StatusControllerTest, ACallbackAfterTheControllerIsGoneDoesNothing) {
    settings->setCountdownSeconds(2);
    launch();
    auto recorder = controller->activeRecorder();
    controller->triggerRecording();
    controller.reset();
    sim.dispatch().advance(5);
    EXPECT_FALSE(recorder->isRecording()) << "the countdown died with its controller";
    recorder->onMessage("late", "/tmp/late.mov");
    recorder->onStateChange(true);
    EXPECT_TRUE(sim.notifications().delivered.empty());
    EXPECT_FALSE(sim.statusBar().hasItem());
}

}  // namespace
}  // namespace vx

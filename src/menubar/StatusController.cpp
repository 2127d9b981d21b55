#include "menubar/StatusController.h"

#include <map>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

#include "platform/Services.h"

#include "capture/AudioSources.h"
#include "menubar/MenuAction.h"
#include "menubar/RandomUuid.h"
#include "menubar/StatusIcon.h"
#include "menubar/StatusMenu.h"
#include "realtime/RealtimeRecorder.h"
#include "system/Hotkey.h"
#include "system/LoginItem.h"
#include "timelapse/TimelapseRecorder.h"

namespace vx {

namespace {

using platform::RepresentedObject;

constexpr double kCountdownTick = 1.0;
// A running tray takes the item at once; one that starts with the session has
// this long to come up before the user is told there is none.
constexpr double kTrayPatience = 5.0;
const std::string kMicrophoneBlocked =
    "Microphone is blocked for Ventilux \u2014 turn it on in System Settings.";
const std::string kNoTrayShown =
    "This desktop shows no tray icons: start and stop recordings with ventilux --toggle, or bind "
    "it to a keyboard shortcut.";

// Runs `apply` with the item's value only when it has the type the command reads.
template <typename T, typename Apply>
void withValue(const RepresentedObject& object, Apply apply) {
    if (const T* value = std::get_if<T>(&object)) {
        apply(*value);
    }
}

}  // namespace

std::shared_ptr<StatusController> StatusController::create(std::shared_ptr<Settings> settings,
                                                           std::function<void()> quit) {
    std::shared_ptr<StatusController> controller(
        new StatusController(std::move(settings), std::move(quit)));
    // Everything below hands out weak references, which need the finished object.
    controller->useRecorder(controller->settings_->realtimeMode());
    controller->attachStatusItem();
    controller->serveRemoteRequests();
    controller->configureButton(false);
    controller->watchForTray();
    // Asked now, so that the menu knows by the time it first opens.
    platform::services().folderChooser->isAvailable();
    if (controller->settings_->hotkeyEnabled()) {
        controller->registerHotkey();
    }
    return controller;
}

StatusController::StatusController(std::shared_ptr<Settings> settings, std::function<void()> quit)
    : settings_(std::move(settings)), quit_(std::move(quit)) {}

// Replaces the active recorder; the caller makes sure the old one is not busy.
void StatusController::useRecorder(bool realtime) {
    if (realtime) {
        activeRecorder_ = std::make_shared<RealtimeRecorder>(settings_);
    } else {
        activeRecorder_ = std::make_shared<TimelapseRecorder>(settings_);
    }
    activeIsRealtime_ = realtime;
    wire(*activeRecorder_, realtime);
}

void StatusController::attachStatusItem() {
    platform::StatusBar* bar = platform::services().statusBar.get();
    if (bar == nullptr) {
        return;  // watchForTray tells the user
    }
    std::weak_ptr<StatusController> weak = weak_from_this();
    statusItem_ = bar->makeStatusItem(
        [weak] {
            auto self = weak.lock();
            return self ? self->menuNeedsUpdate() : platform::Menu{};
        },
        [weak](const platform::MenuItem& chosen) {
            if (auto self = weak.lock()) {
                self->perform(chosen);
            }
        });
}

// A desktop without a tray would leave the user with nothing to click and no
// idea why: once the tray has had time to appear, say how to record instead.
// A tray that comes later still gets the item.
void StatusController::watchForTray() {
    std::weak_ptr<StatusController> weak = weak_from_this();
    platform::services().dispatch->postAfter(kTrayPatience, [weak] {
        auto self = weak.lock();
        if (!self || (self->statusItem_ && self->statusItem_->isShown())) {
            return;
        }
        platform::services().log->line("Ventilux: " + kNoTrayShown);
        notify(kNoTrayShown, std::nullopt);
    });
}

void StatusController::serveRemoteRequests() {
    std::weak_ptr<StatusController> weak = weak_from_this();
    remoteEndpoint_ =
        platform::services().remoteControl->serve([weak](platform::RemoteRequest request) {
            if (auto self = weak.lock()) {
                self->remoteRequest(request);
            }
        });
}

// Start and stop are for scripts that know what they want: each does its half
// of the trigger or nothing, so that sending one twice is harmless.
void StatusController::remoteRequest(platform::RemoteRequest request) {
    const bool recording = activeRecorder_->isRecording();
    const bool countingDown = countdownTimer_ != nullptr;
    switch (request) {
        case platform::RemoteRequest::toggle:
            triggerRecording();
            return;
        case platform::RemoteRequest::start:
            if (!recording && !countingDown) {
                triggerRecording();
            }
            return;
        case platform::RemoteRequest::stop:
            if (recording) {
                triggerRecording();
            }
            return;
    }
}

void StatusController::wire(Recorder& recorder, bool realtime) {
    std::weak_ptr<StatusController> weak = weak_from_this();
    recorder.onStateChange = [weak](bool isRecording) {
        if (auto self = weak.lock()) {
            self->configureButton(isRecording);
        }
    };
    recorder.onMessage = [weak, realtime](const std::string& text,
                                          const std::optional<std::filesystem::path>& file) {
        if (auto self = weak.lock()) {
            self->recorderMessage(text, file, realtime);
        }
    };
}

void StatusController::recorderMessage(const std::string& text,
                                       const std::optional<std::filesystem::path>& file,
                                       bool realtime) {
    notify(text, file);
    // A real-time movie is meant to be watched at once; a time-lapse is named
    // in the notification only. The recorder that saved it decides, not the
    // mode, which may have changed while the movie was being finished.
    if (file && realtime) {
        platform::services().workspace->revealInFileManager(*file);
    }
}

platform::Menu StatusController::menuNeedsUpdate() const {
    return StatusMenu::build(*settings_, *activeRecorder_, countdownTimer_ != nullptr);
}

void StatusController::perform(const platform::MenuItem& chosen) {
    using Command = void (*)(StatusController&, const RepresentedObject&);
    static const std::map<std::string_view, Command> commands{
        {MenuAction::triggerRecording,
         [](StatusController& c, const RepresentedObject&) { c.triggerRecording(); }},
        {MenuAction::toggleRealtime,
         [](StatusController& c, const RepresentedObject&) { c.toggleRealtime(); }},
        {MenuAction::setInterval,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<double>(o, [&](double v) { c.settings_->setCaptureInterval(v); });
         }},
        {MenuAction::setFPS,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<int64_t>(o, [&](int64_t v) { c.settings_->setPlaybackFPS(v); });
         }},
        {MenuAction::setRealtimeFPS,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<int64_t>(o, [&](int64_t v) { c.settings_->setRealtimeFPS(v); });
         }},
        {MenuAction::setScale,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<double>(o, [&](double v) { c.settings_->setResolutionScale(v); });
         }},
        {MenuAction::setDisplay,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<uint32_t>(o, [&](uint32_t v) { c.settings_->setDisplayID(v); });
         }},
        {MenuAction::setCountdown,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<int64_t>(o, [&](int64_t v) { c.settings_->setCountdownSeconds(v); });
         }},
        {MenuAction::setMicrophone,
         [](StatusController& c, const RepresentedObject& o) {
             withValue<std::string>(o, [&](const std::string& v) { c.setMicrophone(v); });
         }},
        {MenuAction::fixMicrophone,
         [](StatusController& c, const RepresentedObject&) { c.fixMicrophone(); }},
        {MenuAction::toggleCursor,
         [](StatusController& c, const RepresentedObject&) {
             c.settings_->setShowsCursor(!c.settings_->showsCursor());
         }},
        {MenuAction::toggleClicks,
         [](StatusController& c, const RepresentedObject&) {
             c.settings_->setShowsMouseClicks(!c.settings_->showsMouseClicks());
         }},
        {MenuAction::toggleSystemAudio,
         [](StatusController& c, const RepresentedObject&) {
             c.settings_->setCapturesSystemAudio(!c.settings_->capturesSystemAudio());
         }},
        {MenuAction::toggleHotkey,
         [](StatusController& c, const RepresentedObject&) { c.toggleHotkey(); }},
        {MenuAction::openFolder,
         [](StatusController& c, const RepresentedObject&) { c.openFolder(); }},
        {MenuAction::chooseFolder,
         [](StatusController& c, const RepresentedObject&) { c.chooseFolder(); }},
        {MenuAction::toggleLogin,
         [](StatusController&, const RepresentedObject&) {
             LoginItem::setEnabled(!LoginItem::isEnabled());
         }},
        {MenuAction::quit,
         [](StatusController& c, const RepresentedObject&) {
             if (c.quit_) {
                 c.quit_();
             }
         }},
    };
    if (auto found = commands.find(chosen.action); found != commands.end()) {
        found->second(*this, chosen.representedObject);
    }
}

void StatusController::triggerRecording() {
    if (countdownTimer_) {
        countdownTimer_.reset();  // cancels it
        configureButton(false);
        return;
    }
    if (activeRecorder_->isRecording()) {
        activeRecorder_->stop(nullptr);
        return;
    }
    if (settings_->countdownSeconds() < 1) {
        startRecording();
        return;
    }
    countdownRemaining_ = settings_->countdownSeconds();
    showCountdown(countdownRemaining_);
    std::weak_ptr<StatusController> weak = weak_from_this();
    countdownTimer_ = platform::services().dispatch->startMainTimer(kCountdownTick, [weak] {
        if (auto self = weak.lock()) {
            self->countdownTick();
        }
    });
}

void StatusController::countdownTick() {
    countdownRemaining_ -= 1;
    if (countdownRemaining_ >= 1) {
        showCountdown(countdownRemaining_);
        return;
    }
    countdownTimer_.reset();
    configureButton(false);
    startRecording();
}

// The mode may have been changed outside the menu, by hand in the settings
// file or by another running copy: what starts is what the menu names. A busy
// recorder of the other kind is kept, and this start dropped, rather than
// leave its session without an owner or start the kind the menu does not name.
void StatusController::startRecording() {
    const bool realtime = settings_->realtimeMode();
    if (realtime != activeIsRealtime_) {
        if (activeRecorder_->isBusy()) {
            return;
        }
        useRecorder(realtime);
    }
    activeRecorder_->start();
}

// A recorder that is starting or finishing is as much in use as a recording
// one: replacing it would lose its session's outcome.
void StatusController::toggleRealtime() {
    if (activeRecorder_->isBusy()) {
        return;
    }
    settings_->setRealtimeMode(!settings_->realtimeMode());
    useRecorder(settings_->realtimeMode());
    configureButton(false);
}

void StatusController::setMicrophone(const std::string& id) {
    if (id.empty()) {
        settings_->setMicrophoneDeviceID(std::nullopt);
        return;
    }
    // Stored whatever the permission turns out to be, so that granting it
    // later needs no second choice.
    settings_->setMicrophoneDeviceID(id);
    switch (platform::services().audioDevices->authorizationStatus()) {
        case platform::MicrophoneAuthorization::authorized:
            return;
        case platform::MicrophoneAuthorization::notDetermined:
            requestMicrophoneAccess();
            return;
        case platform::MicrophoneAuthorization::restricted:
        case platform::MicrophoneAuthorization::denied:
            openMicrophoneSettings();
            return;
    }
}

void StatusController::fixMicrophone() {
    if (platform::services().audioDevices->authorizationStatus() ==
        platform::MicrophoneAuthorization::notDetermined) {
        requestMicrophoneAccess();
    } else {
        openMicrophoneSettings();
    }
}

// The system's question must be in front of the user, not behind another window.
void StatusController::requestMicrophoneAccess() {
    std::weak_ptr<StatusController> weak = weak_from_this();
    platform::services().dispatch->post([weak] {
        platform::services().workspace->activateApp();
        AudioSources::requestAccess([weak](bool granted) {
            if (granted) {
                return;
            }
            // The answer may come on any thread; the settings are opened from the main one.
            platform::services().dispatch->post([weak] {
                if (auto self = weak.lock()) {
                    self->openMicrophoneSettings();
                }
            });
        });
    });
}

void StatusController::openMicrophoneSettings() {
    notify(kMicrophoneBlocked, std::nullopt);
    platform::services().workspace->openPrivacySettings(platform::PrivacyPane::microphone);
}

void StatusController::toggleHotkey() {
    settings_->setHotkeyEnabled(!settings_->hotkeyEnabled());
    if (settings_->hotkeyEnabled()) {
        registerHotkey();
    } else {
        Hotkey::unregister();
    }
}

// Whether the combination could be had is shown by the menu, not here.
void StatusController::registerHotkey() {
    std::weak_ptr<StatusController> weak = weak_from_this();
    Hotkey::registerHotkey([weak] {
        if (auto self = weak.lock()) {
            self->triggerRecording();
        }
    });
}

void StatusController::openFolder() {
    const std::filesystem::path folder = settings_->outputDirectory();
    // The desktop may still show the folder's parent, or report the failure itself.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    platform::services().workspace->openFolder(folder);
}

// The chosen folder is stored even if the controller is gone by the time the
// user answers: it is the user's choice, not the tray's.
void StatusController::chooseFolder() {
    platform::services().folderChooser->chooseFolder(
        settings_->outputDirectory(),
        [settings = settings_](const std::optional<std::filesystem::path>& folder) {
            if (folder) {
                settings->setOutputDirectory(*folder);
            }
        });
}

// The button shows every change between idle, counting down and recording, so
// other processes hear of each change together with it.
void StatusController::configureButton(bool recording) {
    StatusIcon::configureButton(statusItem_ ? &statusItem_->button() : nullptr, recording);
    remoteEndpoint_->publish({recording, false});
}

void StatusController::showCountdown(int64_t n) {
    StatusIcon::showCountdown(statusItem_ ? &statusItem_->button() : nullptr, n);
    remoteEndpoint_->publish({false, true});
}

// Touches nothing of the controller after the first question: the answers may
// come on other threads, and the message must still arrive if the controller
// is gone by then. Messages that are not allowed are dropped without a trace.
void StatusController::notify(const std::string& message,
                              const std::optional<std::filesystem::path>& file) {
    platform::Notifications* centre = platform::services().notifications.get();
    if (centre == nullptr) {
        return;
    }
    std::string body = message;
    if (file) {
        body += "\n" + file->filename().string();
    }
    centre->authorizationStatus([centre, body](platform::NotificationAuthorization status) {
        if (status != platform::NotificationAuthorization::authorized &&
            status != platform::NotificationAuthorization::notDetermined) {
            return;
        }
        centre->requestAuthorization([centre, body](bool granted) {
            if (granted) {
                centre->deliver("Ventilux", body, randomUuid());
            }
        });
    });
}

}  // namespace vx

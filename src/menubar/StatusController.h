#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Dispatch.h"
#include "platform/Menu.h"
#include "platform/RemoteControl.h"
#include "platform/StatusBar.h"

#include "capture/Recorder.h"
#include "settings/Settings.h"

namespace vx {

// Joins the tray to the recorders: owns the status item and the one active
// recorder, runs the start countdown, carries out every menu command and every
// request of another process, and turns the recorder's messages into
// notifications. One per interactive run, on the main thread. Everything that
// calls back later holds it weakly, so a late timer tick, hot key press or
// recorder report finds nothing to do once it is gone.
class StatusController : public std::enable_shared_from_this<StatusController> {
  public:
    // `quit` is how the menu's quit command asks the application to end; the
    // application decides whether a recording must be saved first.
    static std::shared_ptr<StatusController> create(std::shared_ptr<Settings> settings,
                                                    std::function<void()> quit);
    StatusController(const StatusController&) = delete;
    StatusController& operator=(const StatusController&) = delete;

    // Start, stop, or cancel the countdown: the menu's first item, the hot key
    // and another process's toggle request.
    void triggerRecording();
    // The menu as it should look now; the tray asks before every opening.
    platform::Menu menuNeedsUpdate() const;
    // Carries out the command of a chosen menu item. An item whose value is
    // missing or of another type than its command reads does nothing.
    void perform(const platform::MenuItem& chosen);

    // The one recorder; read by the quit handshake to save a running recording.
    std::shared_ptr<Recorder> activeRecorder() const { return activeRecorder_; }

  private:
    StatusController(std::shared_ptr<Settings> settings, std::function<void()> quit);
    void useRecorder(bool realtime);
    void attachStatusItem();
    void watchForTray();
    void serveRemoteRequests();
    void remoteRequest(platform::RemoteRequest request);
    void wire(Recorder& recorder, bool realtime);
    void recorderMessage(const std::string& text, const std::optional<std::filesystem::path>& file,
                         bool realtime);
    void startRecording();
    void countdownTick();
    void toggleRealtime();
    void setMicrophone(const std::string& id);
    void fixMicrophone();
    void requestMicrophoneAccess();
    void openMicrophoneSettings();
    void toggleHotkey();
    void registerHotkey();
    void openFolder();
    void chooseFolder();
    void configureButton(bool recording);
    void showCountdown(int64_t n);
    static void notify(const std::string& message,
                       const std::optional<std::filesystem::path>& file);

    // All fields belong to the main thread.
    std::unique_ptr<platform::StatusItem> statusItem_;          // none: the desktop has no tray
    std::unique_ptr<platform::RemoteEndpoint> remoteEndpoint_;  // made before the first look
    const std::shared_ptr<Settings> settings_;
    std::shared_ptr<Recorder> activeRecorder_;
    bool activeIsRealtime_ = false;                             // the kind of activeRecorder_
    std::unique_ptr<platform::RepeatingTimer> countdownTimer_;  // present while counting down
    int64_t countdownRemaining_ = 0;
    const std::function<void()> quit_;
};

}  // namespace vx

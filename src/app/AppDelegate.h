#pragma once

#include <memory>

#include "platform/RemoteControl.h"

#include "capture/Recorder.h"
#include "menubar/StatusController.h"
#include "settings/Settings.h"

namespace vx {

// The application's delegate: owns the settings for the life of the process
// and, once the event loop runs, decides from the command line what this run
// is. Lives until the process ends; nothing in it is ever torn down earlier.
class AppDelegate {
  public:
    // Creates the settings, which registers their defaults before anything reads them.
    AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Called once by the event loop when it is running.
    void applicationDidFinishLaunching();
    // Every request to end the process (the menu's quit command, a signal, the
    // session's logout) comes here. A running recording is stopped first and
    // the process ends once its movie is finished, or after 20 seconds at most.
    void applicationShouldTerminate();

    const std::shared_ptr<Settings> settings;
    // Keeps a self-test's recorder alive while the test runs.
    std::shared_ptr<Recorder> testRecorder;
    // The tray's controller of an interactive run; none in command-line runs.
    std::shared_ptr<StatusController> status;

  private:
    void runLoginSwitch(bool enable);
    void runSelfTest();
    void runRealtimeSelfTest();
    void sendToRunningCopy(platform::RemoteRequest request);
    void startInteractive();

    static constexpr double kQuitFallbackSeconds = 20.0;
    bool quitting_ = false;  // main thread only
};

}  // namespace vx

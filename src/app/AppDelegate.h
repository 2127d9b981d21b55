#pragma once

#include <memory>

#include "capture/Recorder.h"
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

    const std::shared_ptr<Settings> settings;
    // Keeps a self-test's recorder alive while the test runs.
    std::shared_ptr<Recorder> testRecorder;

  private:
    void runLoginSwitch(bool enable);
    void runSelfTest();
    void runRealtimeSelfTest();
    void startInteractive();
};

}  // namespace vx

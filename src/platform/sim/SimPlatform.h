#pragma once

#include "platform/Services.h"
#include "platform/sim/SimApp.h"
#include "platform/sim/SimAtomicFiles.h"
#include "platform/sim/SimAudioDevices.h"
#include "platform/sim/SimDefaultsStore.h"
#include "platform/sim/SimDispatch.h"
#include "platform/sim/SimFolderChooser.h"
#include "platform/sim/SimHotkeyService.h"
#include "platform/sim/SimLog.h"
#include "platform/sim/SimMovieWriters.h"
#include "platform/sim/SimNotifications.h"
#include "platform/sim/SimOutputStream.h"
#include "platform/sim/SimProcessRunner.h"
#include "platform/sim/SimRecordingStreams.h"
#include "platform/sim/SimRemoteControl.h"
#include "platform/sim/SimRunningApps.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimStatusBar.h"
#include "platform/sim/SimUserDirs.h"
#include "platform/sim/SimWorkspace.h"

namespace vx::platform::sim {

// Installs a complete simulated desktop for as long as it lives, and gives the
// test typed access to each simulated service.
class SimPlatform {
  public:
    SimPlatform();

    SimDispatch& dispatch() { return as<SimDispatch>(services_.dispatch); }
    SimDefaultsStore& defaults() { return as<SimDefaultsStore>(services_.defaults); }
    SimUserDirs& userDirs() { return as<SimUserDirs>(services_.userDirs); }
    SimLog& log() { return as<SimLog>(services_.log); }
    SimOutputStream& stdErr() { return as<SimOutputStream>(services_.stdErr); }
    SimOutputStream& stdOut() { return as<SimOutputStream>(services_.stdOut); }
    SimRunningApps& runningApps() { return as<SimRunningApps>(services_.runningApps); }
    SimScreenCapture& screenCapture() { return as<SimScreenCapture>(services_.screenCapture); }
    SimMovieWriters& movieWriters() { return as<SimMovieWriters>(services_.movieWriters); }
    SimRecordingStreams& recordingStreams() {
        return as<SimRecordingStreams>(services_.recordingStreams);
    }
    SimAudioDevices& audioDevices() { return as<SimAudioDevices>(services_.audioDevices); }
    SimWorkspace& workspace() { return as<SimWorkspace>(services_.workspace); }
    SimStatusBar& statusBar() { return as<SimStatusBar>(services_.statusBar); }
    SimNotifications& notifications() { return as<SimNotifications>(services_.notifications); }
    SimFolderChooser& folderChooser() { return as<SimFolderChooser>(services_.folderChooser); }
    SimRemoteControl& remoteControl() { return as<SimRemoteControl>(services_.remoteControl); }
    SimHotkeyService& hotkeys() { return as<SimHotkeyService>(services_.hotkeys); }
    SimProcessRunner& processRunner() { return as<SimProcessRunner>(services_.processRunner); }
    SimAtomicFiles& atomicFiles() { return as<SimAtomicFiles>(services_.atomicFiles); }
    SimApp& app() { return as<SimApp>(services_.app); }

  private:
    template <typename T, typename Base>
    static T& as(const std::unique_ptr<Base>& service) {
        return static_cast<T&>(*service);
    }

    Services services_;
    ServicesInstallation installation_;
};

}  // namespace vx::platform::sim

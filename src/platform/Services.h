#pragma once

#include <cstdint>
#include <memory>

#include "platform/App.h"
#include "platform/AtomicFiles.h"
#include "platform/AudioDevices.h"
#include "platform/DefaultsStore.h"
#include "platform/Dispatch.h"
#include "platform/FolderChooser.h"
#include "platform/HotkeyService.h"
#include "platform/Log.h"
#include "platform/MovieWriter.h"
#include "platform/Notifications.h"
#include "platform/OutputStream.h"
#include "platform/ProcessRunner.h"
#include "platform/RecordingStream.h"
#include "platform/RemoteControl.h"
#include "platform/RunningApps.h"
#include "platform/ScreenCapture.h"
#include "platform/StatusBar.h"
#include "platform/UserDirs.h"
#include "platform/Workspace.h"

namespace vx::platform {

// Everything the core needs of the desktop. One set is installed per process
// (or per test) and reached through services().
struct Services {
    std::unique_ptr<Dispatch> dispatch;
    std::unique_ptr<DefaultsStore> defaults;
    std::unique_ptr<UserDirs> userDirs;
    std::unique_ptr<Log> log;
    std::unique_ptr<OutputStream> stdErr;
    std::unique_ptr<OutputStream> stdOut;
    std::unique_ptr<RunningApps> runningApps;
    std::unique_ptr<ScreenCapture> screenCapture;
    std::unique_ptr<MovieWriters> movieWriters;
    std::unique_ptr<RecordingStreams> recordingStreams;
    std::unique_ptr<AudioDevices> audioDevices;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<StatusBar> statusBar;
    std::unique_ptr<Notifications> notifications;
    std::unique_ptr<FolderChooser> folderChooser;
    std::unique_ptr<RemoteControl> remoteControl;
    std::unique_ptr<HotkeyService> hotkeys;
    std::unique_ptr<ProcessRunner> processRunner;
    std::unique_ptr<AtomicFiles> atomicFiles;
    std::unique_ptr<App> app;
};

// The installed set; aborts with a clear message when none is installed.
// Any thread.
Services& services();

// Counts the installations so far; any thread. Process-wide state of the core
// that refers into the services (a registration, an installed handler) belongs
// to the installation it was made under; under a new one (the next test) it
// starts afresh.
uint64_t servicesGeneration();

// Installs a set for the lifetime of this guard; guards do not nest. Made by
// main() before the event loop runs, or by a test.
class ServicesInstallation {
  public:
    explicit ServicesInstallation(Services& installed);
    ~ServicesInstallation();
    ServicesInstallation(const ServicesInstallation&) = delete;
    ServicesInstallation& operator=(const ServicesInstallation&) = delete;
};

}  // namespace vx::platform

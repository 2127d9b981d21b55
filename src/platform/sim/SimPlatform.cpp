#include "platform/sim/SimPlatform.h"

namespace vx::platform::sim {

namespace {

Services makeSimServices() {
    Services made;
    auto dispatch = std::make_unique<SimDispatch>();
    made.movieWriters = std::make_unique<SimMovieWriters>(*dispatch);
    made.processRunner = std::make_unique<SimProcessRunner>(*dispatch);
    made.dispatch = std::move(dispatch);
    made.defaults = std::make_unique<SimDefaultsStore>();
    made.userDirs = std::make_unique<SimUserDirs>();
    made.log = std::make_unique<SimLog>();
    made.stdErr = std::make_unique<SimOutputStream>();
    made.stdOut = std::make_unique<SimOutputStream>();
    made.runningApps = std::make_unique<SimRunningApps>();
    made.screenCapture = std::make_unique<SimScreenCapture>();
    made.recordingStreams = std::make_unique<SimRecordingStreams>();
    made.audioDevices = std::make_unique<SimAudioDevices>();
    made.workspace = std::make_unique<SimWorkspace>();
    made.statusBar = std::make_unique<SimStatusBar>();
    made.notifications = std::make_unique<SimNotifications>();
    made.folderChooser = std::make_unique<SimFolderChooser>();
    made.remoteControl = std::make_unique<SimRemoteControl>();
    made.hotkeys = std::make_unique<SimHotkeyService>();
    made.atomicFiles = std::make_unique<SimAtomicFiles>();
    made.app = std::make_unique<SimApp>();
    return made;
}

}  // namespace

SimPlatform::SimPlatform() : services_(makeSimServices()), installation_(services_) {}

}  // namespace vx::platform::sim

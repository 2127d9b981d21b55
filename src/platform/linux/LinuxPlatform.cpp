#include "platform/linux/LinuxPlatform.h"

#include <malloc.h>
#include <unistd.h>

#include "platform/linux/LinuxApp.h"
#include "platform/linux/LinuxAtomicFiles.h"
#include "platform/linux/LinuxDispatch.h"
#include "platform/linux/LinuxLog.h"
#include "platform/linux/LinuxOutputStream.h"
#include "platform/linux/LinuxProcessRunner.h"
#include "platform/linux/LinuxRunningApps.h"
#include "platform/linux/LinuxUserDirs.h"
#include "platform/linux/LinuxWorkspace.h"
#include "platform/linux/SessionType.h"
#include "platform/linux/control/DbusRemoteControl.h"
#include "platform/linux/media/realtime/FfmpegRecordingStreams.h"
#include "platform/linux/media/timelapse/FfmpegMovieWriters.h"
#include "platform/linux/pulse/PulseAudioDevices.h"
#include "platform/linux/store/LinuxDefaultsStore.h"
#include "platform/linux/tray/FreedesktopNotifications.h"
#include "platform/linux/tray/SniStatusBar.h"
#include "platform/linux/wayland/PortalFolderChooser.h"
#include "platform/linux/wayland/PortalHotkeyService.h"
#include "platform/linux/wayland/PortalScreenCapture.h"
#include "platform/linux/wayland/ScreenCastVideoCapture.h"
#include "platform/linux/x11/X11HotkeyService.h"
#include "platform/linux/x11/X11ScreenCapture.h"
#include "platform/linux/x11/X11VideoCapture.h"

namespace vx::platform::linux_ {

namespace {

constexpr int kLargeBlockBytes = 1 << 20;

// Wayland lets no client read the screen or hold a key by itself: there the
// desktop's portals are asked instead.
void addDesktopAccess(Services& made) {
    if (currentSessionType() == SessionType::wayland) {
        auto capture = std::make_unique<PortalScreenCapture>(*made.defaults, *made.log);
        ScreenCasts& casts = capture->casts();
        made.recordingStreams =
            std::make_unique<FfmpegRecordingStreams>([&casts](const VideoCaptureSettings& video) {
                return ScreenCastVideoCapture::open(casts, video);
            });
        made.screenCapture = std::move(capture);
        made.hotkeys = std::make_unique<PortalHotkeyService>(*made.log);
    } else {
        made.recordingStreams = std::make_unique<FfmpegRecordingStreams>(X11VideoCapture::open);
        made.screenCapture = std::make_unique<X11ScreenCapture>();
        made.hotkeys = std::make_unique<X11HotkeyService>();
    }
}

}  // namespace

Services makeLinuxServices(int argc, char** argv) {
    // Pictures and encoder frames are megabytes each. Blocks that large are
    // mapped on their own and go back to the system when freed; left to
    // glibc's sliding threshold, they would be carved from the heaps of the
    // threads that used them and stay there, and every recording would leave
    // the idle program bigger. For the same reason every thread shares one
    // heap: what a thread frees stays in its own arena, and malloc_trim hands
    // back only the main arena's free top.
    ::mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
    ::mallopt(M_ARENA_MAX, 1);
    Services made;
    made.log = std::make_unique<LinuxLog>();
    made.stdErr = std::make_unique<LinuxOutputStream>(STDERR_FILENO);
    made.stdOut = std::make_unique<LinuxOutputStream>(STDOUT_FILENO);
    auto userDirs = std::make_unique<LinuxUserDirs>();
    made.defaults = std::make_unique<LinuxDefaultsStore>(
        LinuxDefaultsStore::standardLocation(*userDirs), *made.log);
    made.userDirs = std::move(userDirs);
    made.runningApps = std::make_unique<LinuxRunningApps>();
    made.movieWriters = std::make_unique<FfmpegMovieWriters>();
    made.dispatch = std::make_unique<LinuxDispatch>();
    made.processRunner = std::make_unique<LinuxProcessRunner>();
    made.atomicFiles = std::make_unique<LinuxAtomicFiles>();
    addDesktopAccess(made);
    made.workspace = std::make_unique<LinuxWorkspace>(*made.log, *made.screenCapture);
    made.audioDevices = std::make_unique<PulseAudioDevices>();
    made.statusBar = std::make_unique<SniStatusBar>(*made.log);
    made.notifications = std::make_unique<FreedesktopNotifications>();
    made.folderChooser = std::make_unique<PortalFolderChooser>(*made.log);
    made.remoteControl = std::make_unique<DbusRemoteControl>(*made.log);
    made.app = std::make_unique<LinuxApp>(argc, argv, *made.dispatch);
    return made;
}

}  // namespace vx::platform::linux_

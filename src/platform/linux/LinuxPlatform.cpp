#include "platform/linux/LinuxPlatform.h"

#include "platform/linux/FfmpegMovieWriters.h"
#include "platform/linux/FfmpegRecordingStreams.h"
#include "platform/linux/LinuxApp.h"
#include "platform/linux/LinuxAtomicFiles.h"
#include "platform/linux/LinuxDispatch.h"
#include "platform/linux/LinuxProcessRunner.h"
#include "platform/linux/PulseAudioDevices.h"
#include "platform/linux/X11HotkeyService.h"
#include "platform/linux/X11ScreenCapture.h"

namespace vx::platform::linux_ {

Services makeLinuxServices(int argc, char** argv) {
    Services made;
    made.movieWriters = std::make_unique<FfmpegMovieWriters>();
    made.recordingStreams = std::make_unique<FfmpegRecordingStreams>();
    made.dispatch = std::make_unique<LinuxDispatch>();
    made.hotkeys = std::make_unique<X11HotkeyService>();
    made.processRunner = std::make_unique<LinuxProcessRunner>();
    made.atomicFiles = std::make_unique<LinuxAtomicFiles>();
    made.screenCapture = std::make_unique<X11ScreenCapture>();
    made.audioDevices = std::make_unique<PulseAudioDevices>();
    made.app = std::make_unique<LinuxApp>(argc, argv, *made.dispatch);
    return made;
}

}  // namespace vx::platform::linux_

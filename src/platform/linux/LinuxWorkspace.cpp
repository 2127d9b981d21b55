#include "platform/linux/LinuxWorkspace.h"

namespace vx::platform::linux_ {

// An X11 session lets every client read the screen, so this is reached only
// where a desktop refused capture; there is no settings pane common to every
// Linux desktop, so the user is told in the log where the refusal came from.
void LinuxWorkspace::openPrivacySettings(PrivacyPane pane) {
    switch (pane) {
        case PrivacyPane::screenRecording:
            log_.line(
                "Ventilux: the desktop refused screen capture; allow screen sharing for Ventilux "
                "in its privacy settings.");
            return;
    }
}

}  // namespace vx::platform::linux_

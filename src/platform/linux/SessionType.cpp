#include "platform/linux/SessionType.h"

#include <cstdlib>
#include <string_view>

namespace vx::platform::linux_ {

SessionType currentSessionType() {
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    if ((waylandDisplay && *waylandDisplay) ||
        (sessionType && std::string_view(sessionType) == "wayland")) {
        return SessionType::wayland;
    }
    return SessionType::x11;
}

}  // namespace vx::platform::linux_

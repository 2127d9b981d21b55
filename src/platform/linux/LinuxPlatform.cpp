#include "platform/linux/LinuxPlatform.h"

namespace vx::platform::linux_ {

Services makeLinuxServices(int /*argc*/, char** /*argv*/) {
    Services made;
    return made;
}

}  // namespace vx::platform::linux_

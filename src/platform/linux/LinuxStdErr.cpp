#include "platform/linux/LinuxStdErr.h"

#include <unistd.h>

#include "platform/linux/WholeWrite.h"

namespace vx::platform::linux_ {

void LinuxStdErr::write(const std::string& text) {
    writeWhole(STDERR_FILENO, text);
}

}  // namespace vx::platform::linux_

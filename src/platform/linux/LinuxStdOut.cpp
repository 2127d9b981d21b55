#include "platform/linux/LinuxStdOut.h"

#include <unistd.h>

#include "platform/linux/WholeWrite.h"

namespace vx::platform::linux_ {

void LinuxStdOut::write(const std::string& text) {
    writeWhole(STDOUT_FILENO, text);
}

}  // namespace vx::platform::linux_

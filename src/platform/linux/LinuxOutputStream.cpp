#include "platform/linux/LinuxOutputStream.h"

#include "platform/linux/WholeWrite.h"

namespace vx::platform::linux_ {

void LinuxOutputStream::write(const std::string& text) {
    writeWhole(fd_, text);
}

}  // namespace vx::platform::linux_

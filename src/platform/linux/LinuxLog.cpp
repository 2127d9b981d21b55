#include "platform/linux/LinuxLog.h"

#include <syslog.h>
#include <unistd.h>

#include "platform/linux/LinuxOutputStream.h"

namespace vx::platform::linux_ {

namespace {

bool systemLogListens() {
    return ::access("/dev/log", F_OK) == 0 || ::access("/run/systemd/journal/socket", F_OK) == 0;
}

}  // namespace

LinuxLog::LinuxLog() {
    ::openlog("ventilux", LOG_PID, LOG_USER);
}

void LinuxLog::line(const std::string& text) {
    if (systemLogListens()) {
        ::syslog(LOG_NOTICE, "%s", text.c_str());
    } else {
        LinuxOutputStream(STDERR_FILENO).write(text + "\n");
    }
}

}  // namespace vx::platform::linux_

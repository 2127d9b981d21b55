#pragma once

#include "platform/Log.h"

namespace vx::platform::linux_ {

// The system log through syslog(3), which journald and syslog daemons both
// receive. Where neither listens (a container, a minimal session) a line sent
// there would vanish, so it goes to standard error instead.
class LinuxLog : public Log {
  public:
    LinuxLog();
    void line(const std::string& text) override;
};

}  // namespace vx::platform::linux_

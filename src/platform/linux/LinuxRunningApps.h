#pragma once

#include <chrono>
#include <string>

#include "platform/RunningApps.h"

namespace vx::platform::linux_ {

// The current user's processes as /proc shows them. A process is identified by
// the program file it runs, so every copy of the same installed binary shares
// one identifier.
class LinuxRunningApps : public RunningApps {
  public:
    LinuxRunningApps();
    RunningApp current() const override;
    // Processes of this process's real user in its desktop session, in /proc order.
    std::vector<RunningApp> list() const override;

  private:
    RunningApp describe(const std::string& pid) const;

    // Read once: the kernel recomputes it on every read and it may drift by a
    // second, which must not reorder two launch times this process compares.
    std::chrono::system_clock::time_point bootTime_;
    const std::string session_;
};

}  // namespace vx::platform::linux_

#pragma once

#include "platform/StdOut.h"

namespace vx::platform::linux_ {

class LinuxStdOut : public StdOut {
  public:
    void write(const std::string& text) override;
};

}  // namespace vx::platform::linux_

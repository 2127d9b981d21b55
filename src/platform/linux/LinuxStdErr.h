#pragma once

#include "platform/StdErr.h"

namespace vx::platform::linux_ {

// Standard error as one write(2) per line, so that lines from several
// processes sharing the stream never interleave mid-line.
class LinuxStdErr : public StdErr {
  public:
    void write(const std::string& text) override;
};

}  // namespace vx::platform::linux_

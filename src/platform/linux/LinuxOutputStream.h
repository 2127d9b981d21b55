#pragma once

#include "platform/OutputStream.h"

namespace vx::platform::linux_ {

// A standard stream as one write(2) per call, so that lines from several
// processes sharing the stream never interleave mid-line.
class LinuxOutputStream : public OutputStream {
  public:
    explicit LinuxOutputStream(int fd) : fd_(fd) {}
    void write(const std::string& text) override;

  private:
    int fd_;
};

}  // namespace vx::platform::linux_

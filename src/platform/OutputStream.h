#pragma once

#include <string>

namespace vx::platform {

// Standard output or standard error of a command-line run (standard output
// only for the runs whose answer is the output itself: --help, --version):
// one write per call, UTF-8 as given. Any thread (the core writes on the main
// thread); blocks only while the pipe it goes into is full.
class OutputStream {
  public:
    virtual ~OutputStream() = default;
    virtual void write(const std::string& text) = 0;
};

}  // namespace vx::platform

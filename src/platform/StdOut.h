#pragma once

#include <string>

namespace vx::platform {

// Standard output, for the runs whose answer is the output itself (--help,
// --version): one write per call, UTF-8 as given. Any thread (the core writes
// on the main thread); blocks only while the pipe it goes into is full.
class StdOut {
  public:
    virtual ~StdOut() = default;
    virtual void write(const std::string& text) = 0;
};

}  // namespace vx::platform

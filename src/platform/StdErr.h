#pragma once

#include <string>

namespace vx::platform {

// Standard error for command-line runs: one write per call, UTF-8 as given.
// Any thread (the core writes on the main thread); blocks only while the pipe
// it goes into is full.
class StdErr {
  public:
    virtual ~StdErr() = default;
    virtual void write(const std::string& text) = 0;
};

}  // namespace vx::platform

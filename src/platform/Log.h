#pragma once

#include <string>

namespace vx::platform {

// The system log. Each call is one line; callers begin it with "Ventilux: ".
// Any thread; one short write that waits for no answer.
class Log {
  public:
    virtual ~Log() = default;
    virtual void line(const std::string& text) = 0;
};

}  // namespace vx::platform

#pragma once

#include <string>
#include <vector>

#include "platform/Log.h"

namespace vx::fixtures {

// What a service under test logs, line by line.
class Lines : public platform::Log {
  public:
    void line(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

}  // namespace vx::fixtures

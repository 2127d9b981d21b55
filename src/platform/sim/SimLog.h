#pragma once

#include <vector>

#include "platform/Log.h"

namespace vx::platform::sim {

class SimLog : public Log {
  public:
    void line(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

}  // namespace vx::platform::sim

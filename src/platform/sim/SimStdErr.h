#pragma once

#include <vector>

#include "platform/StdErr.h"

namespace vx::platform::sim {

class SimStdErr : public StdErr {
  public:
    void write(const std::string& text) override { writes.push_back(text); }
    std::vector<std::string> writes;  // one entry per write
};

}  // namespace vx::platform::sim

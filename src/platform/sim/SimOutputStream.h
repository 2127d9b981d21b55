#pragma once

#include <vector>

#include "platform/OutputStream.h"

namespace vx::platform::sim {

class SimOutputStream : public OutputStream {
  public:
    void write(const std::string& text) override { writes.push_back(text); }
    std::vector<std::string> writes;  // one entry per write
};

}  // namespace vx::platform::sim

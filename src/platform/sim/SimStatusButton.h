#pragma once

#include <vector>

#include "platform/StatusBar.h"

namespace vx::platform::sim {

class SimStatusButton : public StatusButton {
  public:
    const StatusButtonLook& look() const override { return current; }
    void setLook(const StatusButtonLook& look) override {
        current = look;
        shown.push_back(look);
    }

    StatusButtonLook current;
    std::vector<StatusButtonLook> shown;  // every look set, in order
};

}  // namespace vx::platform::sim

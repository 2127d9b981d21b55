#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace vx::platform::linux_ {

struct WaylandOutput {
    uint32_t id = 0;   // from the output's name, so it survives restarts; never 0
    std::string name;  // "DP-1", "Meta-0", …
    int x = 0;         // on the desktop, in the compositor's coordinates
    int y = 0;
    int width = 0;  // of its current mode, in pixels
    int height = 0;
};

// The monitors of a Wayland compositor, as wl_output announces them.
class WaylandOutputs {
  public:
    // In the order the compositor announced them. Fails when the compositor
    // named by WAYLAND_DISPLAY cannot be reached.
    static std::expected<std::vector<WaylandOutput>, Error> list();
    // The stable identifier of an output called `name`.
    static uint32_t idFor(const std::string& name);
};

}  // namespace vx::platform::linux_

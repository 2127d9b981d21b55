#pragma once

#include <glib.h>

#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
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

// The monitors of a Wayland compositor, as wl_output announces them, over one
// connection kept open. Only the first list is waited for, when this opens;
// afterwards the compositor's own events keep it current on the main loop (the
// default GLib context), so reading it never waits for the compositor.
class WaylandOutputs {
  public:
    // In the order the compositor announced them.
    using List = std::expected<std::vector<WaylandOutput>, Error>;

    // Connects to the compositor named by WAYLAND_DISPLAY; one that cannot be
    // reached gives its error as the list, for good.
    WaylandOutputs();
    ~WaylandOutputs();
    WaylandOutputs(const WaylandOutputs&) = delete;
    WaylandOutputs& operator=(const WaylandOutputs&) = delete;

    // Any thread; never blocks.
    List current() const;

    // The stable identifier of an output called `name`.
    static uint32_t idFor(const std::string& name);

  private:
    struct Connection;

    static gboolean onReadable(gint fd, GIOCondition condition, gpointer self);
    void publish(List list);

    std::unique_ptr<Connection> connection_;  // main thread, once open
    guint watch_ = 0;                         // the main loop's watch on the connection
    mutable std::mutex mutex_;
    List current_;  // guarded by mutex_
};

}  // namespace vx::platform::linux_

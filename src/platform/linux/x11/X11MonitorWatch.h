#pragma once

#include <xcb/xcb.h>

#include <mutex>
#include <optional>
#include <string>

#include "platform/linux/x11/X11Monitors.h"
#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbEventSource.h"

namespace vx::platform::linux_ {

// The monitors of an X display as the server last told them, kept current on
// the main loop by the events the server sends when they change: RandR's, and
// the root window's ConfigureNotify, which is all `xrandr --setmonitor` causes.
// Only the first list is waited for, when this opens; later ones are asked for
// on a change and read when they come, so neither reading the list nor keeping
// it waits for the server.
class X11MonitorWatch {
  public:
    // `displayName` empty means the display named by DISPLAY. A display that
    // cannot be reached gives its error as the list, for good.
    explicit X11MonitorWatch(const std::string& displayName);
    X11MonitorWatch(const X11MonitorWatch&) = delete;
    X11MonitorWatch& operator=(const X11MonitorWatch&) = delete;

    // Any thread; never blocks.
    X11Monitors::List current() const;

  private:
    bool isChange(const xcb_generic_event_t& event) const;
    void askAgain();  // main thread
    void collect();   // main thread
    void publish(X11Monitors::List list);

    std::optional<XcbConnection> connection_;  // declared first: the helpers below use it
    std::optional<X11Monitors> monitors_;
    std::optional<XcbEventSource> events_;
    uint8_t randrEvents_ = 0;                  // the first event number of RandR; 0 without it
    std::optional<X11Monitors::Asked> asked_;  // main thread: the listing under way
    bool changedSinceAsked_ = false;           // main thread
    mutable std::mutex mutex_;
    X11Monitors::List current_;  // guarded by mutex_
};

}  // namespace vx::platform::linux_

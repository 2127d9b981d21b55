#pragma once

#include <glib.h>
#include <xcb/xcb.h>

#include <functional>

#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// Reads one X connection in the main loop of the default GLib context (the main
// thread's) without ever waiting for the server: each event goes to `onEvent`,
// and after every read `afterRead` may collect replies that came with it. Once the
// connection breaks, `onBroken` runs once and nothing more is read.
class XcbEventSource {
  public:
    struct Handlers {
        std::function<void(const xcb_generic_event_t&)> onEvent;
        std::function<void()> afterRead;  // may be empty
        std::function<void()> onBroken;   // may be empty
    };

    // `connection` must outlive this.
    XcbEventSource(const XcbConnection& connection, Handlers handlers);
    ~XcbEventSource();
    XcbEventSource(const XcbEventSource&) = delete;
    XcbEventSource& operator=(const XcbEventSource&) = delete;

  private:
    struct Source;

    bool hasQueuedEvent();
    // False once the connection is gone.
    bool dispatch();

    const XcbConnection& connection_;
    const Handlers handlers_;
    GSource* source_;
    XcbReply<xcb_generic_event_t> queued_;  // taken from xcb's queue while polling it
};

}  // namespace vx::platform::linux_

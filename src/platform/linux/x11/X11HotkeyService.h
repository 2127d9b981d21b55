#pragma once

#include <glib.h>
#include <xcb/xcb.h>

#include <map>
#include <optional>

#include "platform/HotkeyService.h"
#include "platform/linux/x11/XcbConnection.h"

namespace vx::platform::linux_ {

// Shortcuts as passive key grabs on the X root window. A grab another client
// already holds is refused with BadAccess, which is how a taken combination
// shows. Presses come in through the GLib main loop, on the main thread.
//
// The X connection is opened by the first registration, so that runs which
// never register a shortcut need no display.
class X11HotkeyService : public HotkeyService {
  public:
    X11HotkeyService() = default;
    ~X11HotkeyService() override;
    X11HotkeyService(const X11HotkeyService&) = delete;
    X11HotkeyService& operator=(const X11HotkeyService&) = delete;

    bool installPressHandler(HotkeyPressHandler handler) override;
    std::expected<HotkeyRegistration, Error> registerHotkey(uint32_t keyCode, uint32_t modifiers,
                                                            HotkeyID id) override;
    void unregisterHotkey(HotkeyRegistration registration) override;

  private:
    struct Grab {
        xcb_keycode_t keycode;
        uint16_t modifiers;  // X modifier mask, without the lock keys
        HotkeyID id;
    };
    struct EventSource;

    std::expected<void, Error> connect();
    std::expected<void, Error> grab(const Grab& wanted);
    void ungrab(const Grab& held);
    bool hasQueuedEvent();
    // False once the connection is gone, which ends every grab.
    bool dispatchEvents();
    void handle(const xcb_generic_event_t& event);

    std::optional<XcbConnection> connection_;
    GSource* source_ = nullptr;             // watches the connection on the default main context
    XcbReply<xcb_generic_event_t> queued_;  // taken from xcb's queue while polling it
    std::optional<HotkeyPressHandler> handler_;
    std::map<HotkeyRegistration, Grab> grabs_;
    HotkeyRegistration nextRegistration_ = 1;
    // The last release, to tell the key's auto-repeat (a release and a press
    // with one time stamp) from a new press.
    std::optional<std::pair<xcb_keycode_t, xcb_timestamp_t>> lastRelease_;
};

}  // namespace vx::platform::linux_

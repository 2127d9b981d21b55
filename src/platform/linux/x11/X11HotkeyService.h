#pragma once

#include <xcb/xcb.h>

#include <map>
#include <optional>

#include "platform/HotkeyService.h"
#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbEventSource.h"

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
    X11HotkeyService(const X11HotkeyService&) = delete;
    X11HotkeyService& operator=(const X11HotkeyService&) = delete;

    bool installPressHandler(HotkeyPressHandler handler) override;
    // The X server answers at once: nothing is refused later.
    std::expected<HotkeyRegistration, Error> registerHotkey(uint32_t keyCode, uint32_t modifiers,
                                                            HotkeyID id, HotkeyRefusal) override;
    void unregisterHotkey(HotkeyRegistration registration) override;

  private:
    struct Grab {
        xcb_keycode_t keycode;
        uint16_t modifiers;  // X modifier mask, without the lock keys
        HotkeyID id;
    };
    std::expected<void, Error> connect();
    std::expected<void, Error> grab(const Grab& wanted);
    void ungrab(const Grab& held);
    void handle(const xcb_generic_event_t& event);

    std::optional<XcbConnection> connection_;
    std::optional<XcbEventSource> events_;  // of connection_, on the main loop
    std::optional<HotkeyPressHandler> handler_;
    std::map<HotkeyRegistration, Grab> grabs_;
    HotkeyRegistration nextRegistration_ = 1;
    // The last release, to tell the key's auto-repeat (a release and a press
    // with one time stamp) from a new press.
    std::optional<std::pair<xcb_keycode_t, xcb_timestamp_t>> lastRelease_;
};

}  // namespace vx::platform::linux_

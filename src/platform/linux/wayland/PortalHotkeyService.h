#pragma once

#include <gio/gio.h>

#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/HotkeyService.h"
#include "platform/Log.h"

namespace vx::platform::linux_ {

// Shortcuts through the desktop portal's GlobalShortcuts interface: on a
// Wayland desktop only the compositor sees every key press, so a shortcut is
// something the desktop grants, not something a client grabs.
//
// The desktop may ask the user before it binds anything, so a registration is
// given as soon as the request is on its way and never waits for any answer of
// the portal: a desktop whose portal has no GlobalShortcuts (or no portal at all)
// turns it down later with kNoGlobalShortcutsOnThisDesktop, and any other refusal
// is one log line. Presses arrive as the portal's Activated signal on the main
// context of the thread that registered, which is the main thread.
class PortalHotkeyService : public HotkeyService {
  public:
    explicit PortalHotkeyService(Log& log);
    ~PortalHotkeyService() override;
    PortalHotkeyService(const PortalHotkeyService&) = delete;
    PortalHotkeyService& operator=(const PortalHotkeyService&) = delete;

    bool installPressHandler(HotkeyPressHandler handler) override;
    std::expected<HotkeyRegistration, Error> registerHotkey(uint32_t keyCode, uint32_t modifiers,
                                                            HotkeyID id,
                                                            HotkeyRefusal refusedLater) override;
    // Closes the registration's portal session, which unbinds its shortcut.
    void unregisterHotkey(HotkeyRegistration registration) override;

  private:
    struct Binding;

    // The session bus, reached on first use; nullptr when there is none.
    GDBusConnection* bus();
    static void onActivated(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                            const gchar*, GVariant* parameters, gpointer self);
    void activated(std::string_view session, std::string_view shortcut);

    Log& log_;
    GDBusConnection* bus_ = nullptr;
    bool busTried_ = false;
    guint activatedSubscription_ = 0;
    std::optional<HotkeyPressHandler> handler_;
    // Shared with the portal requests still under way for them. Each registration
    // asks the portal afresh, so that a portal started later is found.
    std::map<HotkeyRegistration, std::shared_ptr<Binding>> bindings_;
    HotkeyRegistration nextRegistration_ = 1;
};

}  // namespace vx::platform::linux_

#pragma once

#include <cstdint>
#include <expected>
#include <functional>

#include "platform/Types.h"

namespace vx::platform {

// Keys and modifiers travel in the classic Macintosh terms (virtual key codes
// of the US layout, Carbon modifier masks), so that a shortcut is written the
// same way on every desktop; each implementation translates them.
inline constexpr uint32_t kCommandKeyMask = 0x0100;
inline constexpr uint32_t kShiftKeyMask = 0x0200;
inline constexpr uint32_t kOptionKeyMask = 0x0800;
inline constexpr uint32_t kControlKeyMask = 0x1000;

// Names one shortcut of this application: a four-character signature and a number.
struct HotkeyID {
    uint32_t signature = 0;
    uint32_t number = 0;
    bool operator==(const HotkeyID&) const = default;
};

// The failure of a desktop that lets no application have a system-wide
// shortcut at all, whatever the combination: unlike a taken combination,
// nothing another application could give up.
inline constexpr const char* kHotkeyErrorDomain = "HotkeyService";
inline constexpr int64_t kNoGlobalShortcutsOnThisDesktop = 1;

// Called on the main thread for each press of a registered shortcut; answers
// whether the press was taken care of.
using HotkeyPressHandler = std::function<bool(HotkeyID)>;

// Called on the main thread, at most once and never before registerHotkey
// returned, when the desktop turns down a registration it was given; the
// registration is void afterwards and needs no release. Never called once the
// registration was released.
using HotkeyRefusal = std::function<void(Error)>;

// Identifies one registration, for releasing it.
using HotkeyRegistration = uint64_t;

// System-wide keyboard shortcuts that work whichever application is in front.
class HotkeyService {
  public:
    virtual ~HotkeyService() = default;
    // Main thread; never blocks. The one handler that hears every press of this
    // application's shortcuts; false when it could not be installed.
    virtual bool installPressHandler(HotkeyPressHandler handler) = 0;
    // Main thread; may wait for a local display server, never for a desktop service.
    // Fails at once when the combination cannot be had, typically because another
    // application holds it, or with kNoGlobalShortcutsOnThisDesktop. A desktop that
    // answers later gives the registration at once and a refusal to `refusedLater`.
    virtual std::expected<HotkeyRegistration, Error> registerHotkey(uint32_t keyCode,
                                                                    uint32_t modifiers, HotkeyID id,
                                                                    HotkeyRefusal refusedLater) = 0;
    // Main thread; may wait for a local display server, never for a desktop service.
    virtual void unregisterHotkey(HotkeyRegistration registration) = 0;
};

}  // namespace vx::platform

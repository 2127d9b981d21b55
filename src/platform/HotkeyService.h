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

// Identifies one registration, for releasing it.
using HotkeyRegistration = uint64_t;

// System-wide keyboard shortcuts that work whichever application is in front.
// Called on the main thread only.
class HotkeyService {
  public:
    virtual ~HotkeyService() = default;
    // The one handler that hears every press of this application's shortcuts;
    // false when it could not be installed. Does not block.
    virtual bool installPressHandler(HotkeyPressHandler handler) = 0;
    // Fails when the combination cannot be had, typically because another
    // application holds it, or with kNoGlobalShortcutsOnThisDesktop. Does not
    // block on a desktop portal: whether the desktop offers shortcuts is served
    // from state the service keeps current, and the user's consent is not
    // waited for (a later refusal is logged). An X server is asked directly,
    // in a few round trips (the first registration also connects to it).
    virtual std::expected<HotkeyRegistration, Error> registerHotkey(uint32_t keyCode,
                                                                    uint32_t modifiers,
                                                                    HotkeyID id) = 0;
    // At most one round trip to an X server; a portal is not waited for.
    virtual void unregisterHotkey(HotkeyRegistration registration) = 0;
};

}  // namespace vx::platform

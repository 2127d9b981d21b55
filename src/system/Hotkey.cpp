#include "system/Hotkey.h"

#include <optional>
#include <utility>

#include "platform/Services.h"

namespace vx::Hotkey {

namespace {

struct State {
    uint64_t generation = 0;
    std::optional<platform::HotkeyRegistration> hotKeyRef;
    std::function<void()> action;
    // Installed once and never removed: later registrations reuse it.
    bool handlerInstalled = false;
    bool unavailable = false;  // the last registration's failure was the desktop's
};

State& state() {
    static State current;
    if (current.generation != platform::servicesGeneration()) {
        current = State();
        current.generation = platform::servicesGeneration();
    }
    return current;
}

// Presses are answered at once; the action runs later as its own main-queue
// job and is read when that job runs, so the latest registration's action wins.
bool handlePress(platform::HotkeyID pressed) {
    if (pressed.signature != kID.signature) {
        return false;
    }
    platform::services().dispatch->post([] {
        // A copy: the action may register a new one while it runs.
        if (std::function<void()> action = state().action) {
            action();
        }
    });
    return true;
}

bool isDesktopsRefusal(const platform::Error& error) {
    return error.domain == platform::kHotkeyErrorDomain &&
           error.code == platform::kNoGlobalShortcutsOnThisDesktop;
}

// The desktop took back a registration it had given: the menu reads the outcome.
void refusedLater(const platform::Error& error) {
    State& current = state();
    current.hotKeyRef.reset();
    current.unavailable = isDesktopsRefusal(error);
}

}  // namespace

bool registerHotkey(std::function<void()> action) {
    State& current = state();
    current.action = std::move(action);
    if (current.hotKeyRef) {
        return true;
    }
    platform::HotkeyService& hotkeys = *platform::services().hotkeys;
    if (!current.handlerInstalled) {
        current.handlerInstalled = hotkeys.installPressHandler(handlePress);
    }
    auto registration = hotkeys.registerHotkey(kKeyCode, kModifiers, kID, refusedLater);
    current.unavailable = !registration && isDesktopsRefusal(registration.error());
    if (!registration) {
        return false;
    }
    current.hotKeyRef = *registration;
    return true;
}

void unregister() {
    State& current = state();
    if (current.hotKeyRef) {
        platform::services().hotkeys->unregisterHotkey(*current.hotKeyRef);
    }
    current.hotKeyRef.reset();
}

bool isRegistered() {
    return state().hotKeyRef.has_value();
}

bool unavailableOnThisDesktop() {
    return state().unavailable;
}

}  // namespace vx::Hotkey

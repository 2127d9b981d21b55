#include "platform/sim/SimHotkeyService.h"

#include <utility>

namespace vx::platform::sim {

bool SimHotkeyService::installPressHandler(HotkeyPressHandler handler) {
    if (!handlerInstallSucceeds) {
        return false;
    }
    handler_ = std::move(handler);
    ++handlerInstallations;
    return true;
}

std::expected<HotkeyRegistration, Error> SimHotkeyService::registerHotkey(
    uint32_t keyCode, uint32_t modifiers, HotkeyID id, HotkeyRefusal refusedLater) {
    if (unavailableOnThisDesktop) {
        return std::unexpected(Error{kHotkeyErrorDomain, kNoGlobalShortcutsOnThisDesktop,
                                     "This desktop lets no application have a global shortcut."});
    }
    if (takenByOthers) {
        return std::unexpected(Error{"sim", 1, "Another application holds the combination."});
    }
    ++registrationsMade;
    HotkeyRegistration registration = nextRegistration_++;
    held.emplace(registration, Held{keyCode, modifiers, id, std::move(refusedLater)});
    return registration;
}

void SimHotkeyService::unregisterHotkey(HotkeyRegistration registration) {
    held.erase(registration);
}

std::optional<bool> SimHotkeyService::pressKeys(uint32_t keyCode, uint32_t modifiers) {
    for (const auto& [registration, shortcut] : held) {
        if (shortcut.keyCode == keyCode && shortcut.modifiers == modifiers) {
            return deliverPress(shortcut.id);
        }
    }
    return std::nullopt;
}

void SimHotkeyService::refuseHeld(const Error& why) {
    for (auto& [registration, shortcut] : std::exchange(held, {})) {
        shortcut.refusedLater(why);
    }
}

std::optional<bool> SimHotkeyService::deliverPress(HotkeyID id) {
    if (!handler_) {
        return std::nullopt;
    }
    return (*handler_)(id);
}

}  // namespace vx::platform::sim

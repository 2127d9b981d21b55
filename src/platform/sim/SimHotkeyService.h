#pragma once

#include <map>
#include <optional>
#include <vector>

#include "platform/HotkeyService.h"

namespace vx::platform::sim {

// Shortcuts held in memory. The test plays the user (pressKeys) and the other
// applications (takenByOthers) and the desktop (unavailableOnThisDesktop, refuseHeld).
class SimHotkeyService : public HotkeyService {
  public:
    struct Held {
        uint32_t keyCode;
        uint32_t modifiers;
        HotkeyID id;
        HotkeyRefusal refusedLater;
    };

    bool installPressHandler(HotkeyPressHandler handler) override;
    std::expected<HotkeyRegistration, Error> registerHotkey(uint32_t keyCode, uint32_t modifiers,
                                                            HotkeyID id,
                                                            HotkeyRefusal refusedLater) override;
    void unregisterHotkey(HotkeyRegistration registration) override;

    // The user presses the combination: the handler hears of it only when this
    // application holds it. Gives the handler's answer, none when it did not hear.
    std::optional<bool> pressKeys(uint32_t keyCode, uint32_t modifiers);
    // A press event carrying `id`, as if one of this application's shortcuts had it.
    std::optional<bool> deliverPress(HotkeyID id);
    // The desktop turns down every registration it has given so far, as one that
    // answers later does.
    void refuseHeld(const Error& why);

    // Behaviour the test can change at any time.
    bool takenByOthers = false;
    bool unavailableOnThisDesktop = false;  // wins over takenByOthers
    bool handlerInstallSucceeds = true;

    int handlerInstallations = 0;  // successful ones
    int registrationsMade = 0;     // successful ones
    std::map<HotkeyRegistration, Held> held;

  private:
    std::optional<HotkeyPressHandler> handler_;
    HotkeyRegistration nextRegistration_ = 1;
};

}  // namespace vx::platform::sim

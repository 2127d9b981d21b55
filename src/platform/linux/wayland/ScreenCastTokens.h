#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/DefaultsStore.h"

namespace vx::platform::linux_ {

// The screen-sharing consent the user gave, one restore token per display,
// kept in the settings store so that the next run opens the same display
// without asking. Safe to use from several threads.
class ScreenCastTokens {
  public:
    explicit ScreenCastTokens(DefaultsStore& store) : store_(store) {}

    std::optional<std::string> token(uint32_t displayID) const;
    void store(uint32_t displayID, const std::string& token);
    void forget(uint32_t displayID);
    // Whether the desktop's permission store still holds the display's consent,
    // asked without showing the user anything.
    bool isGranted(uint32_t displayID) const;

  private:
    DefaultsStore& store_;
};

}  // namespace vx::platform::linux_

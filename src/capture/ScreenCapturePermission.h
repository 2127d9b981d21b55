#pragma once

namespace vx::ScreenCapturePermission {

// What a recorder tells the user when it may not capture the screen.
inline constexpr const char* kMissingMessage =
    "Enable Ventilux under Screen Recording, then quit & reopen Ventilux.";

// True when the screen may be captured. Otherwise asks the system to offer the
// permission, shows the user (on the main thread) where to grant it, and
// returns false; a later start asks again.
bool check();

}  // namespace vx::ScreenCapturePermission

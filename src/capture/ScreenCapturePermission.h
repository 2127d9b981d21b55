#pragma once

namespace vx::ScreenCapturePermission {

// What a recorder tells the user when it may not capture the screen. X11
// always allows capture; on Wayland the desktop asks in its own dialog, and
// its answer counts from the next start, without a restart.
inline constexpr const char* kMissingMessage =
    "Allow Ventilux to share your screen in the desktop's screen-sharing dialog, then start "
    "recording again.";

// True when the screen may be captured. Otherwise asks the system to offer the
// permission, shows the user (on the main thread) where to grant it, and
// returns false; a later start asks again.
bool check();

}  // namespace vx::ScreenCapturePermission

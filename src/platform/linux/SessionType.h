#pragma once

namespace vx::platform::linux_ {

enum class SessionType { x11, wayland };

// Decided by what the session says it is, never by probing: under Wayland an
// X server (XWayland) may well answer and then show only its own windows.
SessionType currentSessionType();

}  // namespace vx::platform::linux_

#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/HotkeyService.h"

// The one system-wide shortcut, Alt+Super+5 (Option-Command-5 in the key
// codes the seam speaks), that starts and stops a recording whichever
// application is in front. Process-wide state; every
// operation is called on the main thread.
namespace vx::Hotkey {

inline constexpr uint32_t kKeyCode = 23;  // the "5" of the number row
inline constexpr uint32_t kModifiers = platform::kCommandKeyMask | platform::kOptionKeyMask;
inline constexpr platform::HotkeyID kID{
    uint32_t('V') << 24 | uint32_t('T') << 16 | uint32_t('L') << 8 | uint32_t('X'), 1};
// As Linux desktops name keys in their own shortcut settings.
inline constexpr std::string_view displayName = "Alt+Super+5";

// Stores `action` in place of the previous one and makes sure the shortcut is
// registered; true when it is registered afterwards. The action runs as a job
// of its own on the main queue after each press.
bool registerHotkey(std::function<void()> action);
// Releases the shortcut; the action stays, so that a press already queued still runs it.
void unregister();
bool isRegistered();
// Whether the last registration failed because this desktop lets no
// application have a global shortcut; false again once one succeeds.
bool unavailableOnThisDesktop();

}  // namespace vx::Hotkey

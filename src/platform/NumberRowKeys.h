#pragma once

#include <cstdint>
#include <optional>

namespace vx::platform {

// The digit that a key of the number row types, by the Macintosh virtual key
// code that HotkeyService speaks; none for any other key. Every desktop's hot
// key service needs it: a digit is its own X keysym ('5' is XK_5) and its own
// key name in desktop shortcut triggers. Any thread; a table lookup.
std::optional<char> numberRowDigit(uint32_t keyCode);

}  // namespace vx::platform

#pragma once

#include <cstdint>
#include <optional>

namespace vx::platform::linux_ {

// The digit that a key of the number row types, by the key's Macintosh virtual
// key code; none for any other key. A digit is its own X keysym ('5' is XK_5)
// and its own key name in desktop shortcut triggers.
std::optional<char> numberRowDigit(uint32_t keyCode);

}  // namespace vx::platform::linux_

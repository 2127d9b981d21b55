#pragma once

#include <cstdint>

#include "platform/StatusBar.h"

// The three looks of the status item: idle, recording, and counting down.
// Without a button (the desktop gave none) they do nothing.
namespace vx::StatusIcon {

void configureButton(platform::StatusButton* button, bool recording);
// The countdown look for `n` seconds left; the tool tip stays as it was.
void showCountdown(platform::StatusButton* button, int64_t n);

}  // namespace vx::StatusIcon

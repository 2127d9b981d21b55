#include "menubar/StatusIcon.h"

#include <string>

namespace vx::StatusIcon {

using platform::StatusButtonLook;
using platform::StatusImage;
using platform::StatusImagePosition;
using platform::StatusTint;

void configureButton(platform::StatusButton* button, bool recording) {
    if (button == nullptr) {
        return;
    }
    button->setLook(StatusButtonLook{
        .image = StatusImage::icon,
        .imagePosition = StatusImagePosition::imageOnly,
        .title = "",
        .tint = recording ? StatusTint::systemRed : StatusTint::none,
        .toolTip = recording ? "Ventilux \u2014 recording (click to stop)" : "Ventilux",
    });
}

void showCountdown(platform::StatusButton* button, int64_t n) {
    if (button == nullptr) {
        return;
    }
    button->setLook(StatusButtonLook{
        .image = StatusImage::icon,
        .imagePosition = StatusImagePosition::imageLeading,
        .title = " " + std::to_string(n),
        .tint = StatusTint::systemRed,
        .toolTip = button->look().toolTip,
    });
}

}  // namespace vx::StatusIcon

#pragma once

#include <string>

namespace vx::platform {

// The picture on the status item's button. There is one: the application's
// icon, drawn by the desktop in the colour the tint asks for.
enum class StatusImage { none, icon };
enum class StatusImagePosition { imageOnly, imageLeading };  // leading: before the title
// `none` means the panel's own foreground colour.
enum class StatusTint { none, systemRed };

// Everything the status item's button shows.
struct StatusButtonLook {
    StatusImage image = StatusImage::none;
    StatusImagePosition imagePosition = StatusImagePosition::imageOnly;
    std::string title;
    StatusTint tint = StatusTint::none;
    std::string toolTip;
    bool operator==(const StatusButtonLook&) const = default;
};

// The status item's button: the desktop shows each new look as a whole.
class StatusButton {
  public:
    virtual ~StatusButton() = default;
    virtual const StatusButtonLook& look() const = 0;
    virtual void setLook(const StatusButtonLook& look) = 0;
};

}  // namespace vx::platform

#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Menu.h"

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

// The status item's button: the desktop shows each new look as a whole. Main
// thread only; setLook() does not wait for the tray.
class StatusButton {
  public:
    virtual ~StatusButton() = default;
    virtual const StatusButtonLook& look() const = 0;
    virtual void setLook(const StatusButtonLook& look) = 0;
};

// The item in the desktop's tray: a button and the menu it opens. Main thread only.
class StatusItem {
  public:
    virtual ~StatusItem() = default;
    virtual StatusButton& button() = 0;
    // Whether a tray shows the item now; a desktop without one never does.
    virtual bool isShown() const = 0;
};

class StatusBar {
  public:
    virtual ~StatusBar() = default;
    // Called on the main thread, once, at launch; may wait while the session
    // bus is reached, never for a tray. The item stays in the tray while the
    // returned object lives. Both callbacks run on the main thread:
    // `menuNeedsUpdate` each time the menu is about to open (its answer is the
    // whole menu), `activate` with the item the user chose.
    virtual std::unique_ptr<StatusItem> makeStatusItem(
        std::function<Menu()> menuNeedsUpdate,
        std::function<void(const MenuItem& chosen)> activate) = 0;
};

}  // namespace vx::platform

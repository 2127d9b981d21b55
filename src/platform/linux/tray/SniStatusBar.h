#pragma once

#include <gio/gio.h>

#include "platform/Log.h"
#include "platform/StatusBar.h"

namespace vx::platform::linux_ {

// Status items in the desktop's tray (StatusNotifierItem with a dbusmenu menu)
// on the session bus, which is reached only once an item is made.
class SniStatusBar : public StatusBar {
  public:
    explicit SniStatusBar(Log& log) : log_(log) {}

    // Make it on the main thread: the bus calls the callbacks there.
    std::unique_ptr<StatusItem> makeStatusItem(
        std::function<Menu()> menuNeedsUpdate,
        std::function<void(const MenuItem& chosen)> activate) override;

  private:
    Log& log_;
};

}  // namespace vx::platform::linux_

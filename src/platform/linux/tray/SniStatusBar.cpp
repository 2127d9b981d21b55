#include "platform/linux/tray/SniStatusBar.h"

#include "platform/linux/tray/SniStatusItem.h"

namespace vx::platform::linux_ {

std::unique_ptr<StatusItem> SniStatusBar::makeStatusItem(
    std::function<Menu()> menuNeedsUpdate, std::function<void(const MenuItem& chosen)> activate) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    auto item =
        std::make_unique<SniStatusItem>(bus, log_, std::move(menuNeedsUpdate), std::move(activate));
    if (bus != nullptr) {
        g_object_unref(bus);
    }
    return item;
}

}  // namespace vx::platform::linux_

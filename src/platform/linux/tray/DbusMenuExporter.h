#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Menu.h"
#include "platform/Types.h"
#include "platform/linux/tray/DbusMenuLayout.h"
#include "platform/linux/tray/DbusObject.h"

namespace vx::platform::linux_ {

// The status item's menu as com.canonical.dbusmenu at /MenuBar.
//
// The menu is built afresh when the host is about to show it (AboutToShow or
// AboutToShowGroup for the root), and also when the host asks for the whole
// layout without having announced an opening, since some hosts only ask.
// A rebuilt menu that looks different is a new revision, announced with
// LayoutUpdated. A click runs `activate` with the item the user saw.
class DbusMenuExporter {
  public:
    static constexpr const char* kPath = "/MenuBar";

    static std::expected<std::unique_ptr<DbusMenuExporter>, Error> make(
        GDBusConnection* bus, std::function<Menu()> menuNeedsUpdate,
        std::function<void(const MenuItem&)> activate);

  private:
    DbusMenuExporter(std::function<Menu()> menuNeedsUpdate,
                     std::function<void(const MenuItem&)> activate);

    void onCall(const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation);
    GVariant* property(const std::string& name) const;

    void getLayout(GVariant* parameters, GDBusMethodInvocation* invocation);
    void getGroupProperties(GVariant* parameters, GDBusMethodInvocation* invocation);
    void getProperty(GVariant* parameters, GDBusMethodInvocation* invocation);
    void event(GVariant* parameters, GDBusMethodInvocation* invocation);
    void eventGroup(GVariant* parameters, GDBusMethodInvocation* invocation);
    void aboutToShow(GVariant* parameters, GDBusMethodInvocation* invocation);
    void aboutToShowGroup(GVariant* parameters, GDBusMethodInvocation* invocation);

    // Asks the core for the menu; true when the host must fetch it again.
    bool rebuild();
    // The host is opening the menu: rebuilt, and announced when it changed.
    bool rootAboutToShow();
    // The item a click on `id` activates, if any.
    const MenuItem* clickable(int32_t id, const std::string& eventId) const;

    const std::function<Menu()> menuNeedsUpdate_;
    const std::function<void(const MenuItem&)> activate_;
    std::unique_ptr<DbusObject> object_;
    // Main thread only, as every call arrives there.
    DbusMenuLayout layout_;
    uint32_t revision_ = 0;
    bool builtForNextLayout_ = false;  // an opening rebuilt it since the last GetLayout
};

}  // namespace vx::platform::linux_

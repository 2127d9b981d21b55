#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>

#include "platform/Log.h"
#include "platform/StatusBar.h"
#include "platform/linux/tray/DbusMenuExporter.h"
#include "platform/linux/tray/DbusObject.h"
#include "platform/linux/tray/SniWatcherRegistration.h"

namespace vx::platform::linux_ {

// The status item as an org.kde.StatusNotifierItem at /StatusNotifierItem,
// with its menu beside it. The button's look is drawn into the icon pixmaps;
// the countdown's seconds also go into the title and the tool tip.
//
// Without a session bus, or with the paths taken, it stays a button that
// remembers its look, and the log says once why no icon shows.
class SniStatusItem : public StatusItem, public StatusButton {
  public:
    static constexpr const char* kPath = "/StatusNotifierItem";

    // `bus` may be nullptr (no session bus). Make it on the main thread.
    SniStatusItem(GDBusConnection* bus, Log& log, std::function<Menu()> menuNeedsUpdate,
                  std::function<void(const MenuItem&)> activate);
    ~SniStatusItem() override;
    SniStatusItem(const SniStatusItem&) = delete;
    SniStatusItem& operator=(const SniStatusItem&) = delete;

    StatusButton& button() override { return *this; }
    bool isShown() const override { return registration_ && registration_->isRegistered(); }
    const StatusButtonLook& look() const override { return look_; }
    void setLook(const StatusButtonLook& look) override;

  private:
    void onCall(const std::string& method, GDBusMethodInvocation* invocation);
    GVariant* property(const std::string& name) const;
    std::string title() const;
    GVariant* toolTip() const;

    StatusButtonLook look_;  // main thread only
    GVariant* pixmaps_;      // the look drawn at each size, a(iiay)
    std::unique_ptr<DbusObject> object_;
    std::unique_ptr<DbusMenuExporter> menu_;
    std::unique_ptr<SniWatcherRegistration> registration_;
};

}  // namespace vx::platform::linux_

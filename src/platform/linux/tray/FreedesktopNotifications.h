#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/Notifications.h"

namespace vx::platform::linux_ {

// Notifications through org.freedesktop.Notifications on the session bus.
//
// The desktop has no per-application permission: notifications are allowed
// exactly when a notification server runs or the bus can start one. Without
// one nothing is shown and nothing fails. Handlers run on the main context of
// the calling thread. Bodies are shortened and, for a server that reads
// markup, escaped (NotificationBody); whether it does is asked once, without
// waiting, before the first notification is shown.
class FreedesktopNotifications : public Notifications {
  public:
    FreedesktopNotifications() = default;
    ~FreedesktopNotifications() override;
    FreedesktopNotifications(const FreedesktopNotifications&) = delete;
    FreedesktopNotifications& operator=(const FreedesktopNotifications&) = delete;

    void authorizationStatus(std::function<void(NotificationAuthorization)> handler) override;
    void requestAuthorization(std::function<void(bool granted)> handler) override;
    // The identifier has no place in the protocol; the server numbers its own.
    void deliver(const std::string& title, const std::string& body,
                 const std::string& identifier) override;

  private:
    // The session bus, reached on first use; nullptr when there is none.
    GDBusConnection* bus();
    // Tells `handler` whether a server runs or can be started.
    void findServer(std::function<void(bool found)> handler);

    class Server;

    GDBusConnection* bus_ = nullptr;
    bool busTried_ = false;
    std::shared_ptr<Server> server_;  // made on the first notification
};

}  // namespace vx::platform::linux_

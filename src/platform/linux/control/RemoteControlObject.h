#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/Log.h"
#include "platform/RemoteControl.h"
#include "platform/linux/tray/DbusObject.h"

namespace vx::platform::linux_ {

// The running copy on the session bus: the name lab.quimbry.Ventilux, and at
// /lab/quimbry/Ventilux the interface lab.quimbry.Ventilux1 with the methods
// Toggle, Start and Stop and the read-only properties Recording and
// CountingDown, whose changes are announced with PropertiesChanged.
//
// Only connections of the user `owner` are served; the bus names each caller's
// user, and anyone else gets AccessDenied. Requests come on the main context
// of the thread that made the object.
class RemoteControlObject : public RemoteEndpoint {
  public:
    static constexpr const char* kBusName = "lab.quimbry.Ventilux";
    static constexpr const char* kPath = "/lab/quimbry/Ventilux";
    static constexpr const char* kInterface = "lab.quimbry.Ventilux1";

    // `bus` may be nullptr (no session bus); then the log says once that no
    // other process can reach this copy.
    RemoteControlObject(GDBusConnection* bus, Log& log, uid_t owner,
                        std::function<void(RemoteRequest)> handler);
    ~RemoteControlObject() override;
    RemoteControlObject(const RemoteControlObject&) = delete;
    RemoteControlObject& operator=(const RemoteControlObject&) = delete;

    void publish(const RemoteState& state) override;

  private:
    struct Caller;

    void onCall(const std::string& method, GDBusMethodInvocation* invocation);
    GVariant* property(const std::string& name) const;
    static void onCallerKnown(GObject* bus, GAsyncResult* result, gpointer caller);
    static void onNameLost(GDBusConnection* bus, const gchar* name, gpointer self);

    Log& log_;
    const uid_t owner_;
    // Calls still waiting to learn their caller's user hold it weakly, and
    // find it gone once this object is.
    const std::shared_ptr<std::function<void(RemoteRequest)>> handler_;
    RemoteState state_;  // main thread only
    std::unique_ptr<DbusObject> object_;
    guint name_ = 0;
};

}  // namespace vx::platform::linux_

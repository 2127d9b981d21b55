#include "platform/linux/control/RemoteControlObject.h"

#include <optional>
#include <utility>

namespace vx::platform::linux_ {

namespace {

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="lab.quimbry.Ventilux1">
    <method name="Toggle"/>
    <method name="Start"/>
    <method name="Stop"/>
    <property name="Recording" type="b" access="read"/>
    <property name="CountingDown" type="b" access="read"/>
  </interface>
</node>)xml";

constexpr const char* kUnreachable = "; ventilux --toggle cannot reach this copy.";

// GDBus answers methods the interface does not declare itself; these are the declared ones.
std::optional<RemoteRequest> requestNamed(const std::string& method) {
    if (method == "Toggle") {
        return RemoteRequest::toggle;
    }
    if (method == "Start") {
        return RemoteRequest::start;
    }
    if (method == "Stop") {
        return RemoteRequest::stop;
    }
    return std::nullopt;
}

void refuse(GDBusMethodInvocation* invocation, const char* error, const char* message) {
    g_dbus_method_invocation_return_dbus_error(invocation, error, message);
}

}  // namespace

// A call waiting for the bus to name the user of its sender.
struct RemoteControlObject::Caller {
    std::weak_ptr<std::function<void(RemoteRequest)>> handler;
    GDBusMethodInvocation* invocation;  // answered exactly once, which releases it
    RemoteRequest request;
    uid_t owner;
};

RemoteControlObject::RemoteControlObject(GDBusConnection* bus, Log& log, uid_t owner,
                                         std::function<void(RemoteRequest)> handler)
    : log_(log),
      owner_(owner),
      handler_(std::make_shared<std::function<void(RemoteRequest)>>(std::move(handler))) {
    if (bus == nullptr) {
        log_.line(std::string("Ventilux: no session bus") + kUnreachable);
        return;
    }
    auto object = DbusObject::make(
        bus, kPath, kIntrospection,
        [this](const std::string& method, GVariant*, GDBusMethodInvocation* invocation) {
            onCall(method, invocation);
        },
        [this](const std::string& name) { return property(name); });
    if (!object) {
        log_.line("Ventilux: " + object.error().description + kUnreachable);
        return;
    }
    object_ = std::move(*object);
    name_ = g_bus_own_name_on_connection(bus, kBusName, G_BUS_NAME_OWNER_FLAGS_NONE, nullptr,
                                         &RemoteControlObject::onNameLost, this, nullptr);
}

RemoteControlObject::~RemoteControlObject() {
    if (name_ != 0) {
        g_bus_unown_name(name_);
    }
}

void RemoteControlObject::publish(const RemoteState& state) {
    const RemoteState before = std::exchange(state_, state);
    if (state == before || !object_) {
        return;
    }
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE_VARDICT);
    if (state.recording != before.recording) {
        g_variant_builder_add(&changed, "{sv}", "Recording",
                              g_variant_new_boolean(state.recording));
    }
    if (state.countingDown != before.countingDown) {
        g_variant_builder_add(&changed, "{sv}", "CountingDown",
                              g_variant_new_boolean(state.countingDown));
    }
    object_->emitPropertiesChanged(g_variant_builder_end(&changed));
}

// Whoever can reach this connection is asked who they are first: a session
// bus may be shared more widely than its user intends.
void RemoteControlObject::onCall(const std::string& method, GDBusMethodInvocation* invocation) {
    const std::optional<RemoteRequest> request = requestNamed(method);
    const gchar* sender = g_dbus_method_invocation_get_sender(invocation);
    if (!request) {
        refuse(invocation, "org.freedesktop.DBus.Error.UnknownMethod", "No such method.");
        return;
    }
    if (sender == nullptr) {
        refuse(invocation, "org.freedesktop.DBus.Error.AccessDenied",
               "Ventilux takes requests only through the session bus.");
        return;
    }
    g_dbus_connection_call(
        g_dbus_method_invocation_get_connection(invocation), "org.freedesktop.DBus",
        "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixUser",
        g_variant_new("(s)", sender), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        &RemoteControlObject::onCallerKnown, new Caller{handler_, invocation, *request, owner_});
}

void RemoteControlObject::onCallerKnown(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Caller> caller(static_cast<Caller*>(data));
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
    guint32 user = 0;
    if (reply != nullptr) {
        g_variant_get(reply, "(u)", &user);
        g_variant_unref(reply);
    }
    if (reply == nullptr || user != caller->owner) {
        refuse(caller->invocation, "org.freedesktop.DBus.Error.AccessDenied",
               "Ventilux takes requests only from the user it runs for.");
        return;
    }
    // A copy that keeps the handler alive while it runs.
    const std::shared_ptr<std::function<void(RemoteRequest)>> handler = caller->handler.lock();
    if (!handler) {
        refuse(caller->invocation, "org.freedesktop.DBus.Error.Failed", "Ventilux is quitting.");
        return;
    }
    // Answered first: what the request sets off is the copy's business.
    g_dbus_method_invocation_return_value(caller->invocation, nullptr);
    (*handler)(caller->request);
}

GVariant* RemoteControlObject::property(const std::string& name) const {
    if (name == "Recording") {
        return g_variant_new_boolean(state_.recording);
    }
    if (name == "CountingDown") {
        return g_variant_new_boolean(state_.countingDown);
    }
    return nullptr;
}

// Also called when the name is only queued behind another owner: this copy
// gets it once that one lets go.
void RemoteControlObject::onNameLost(GDBusConnection* bus, const gchar* name, gpointer self) {
    if (bus == nullptr) {
        return;  // the connection is closing with the process
    }
    static_cast<RemoteControlObject*>(self)->log_.line(
        std::string("Ventilux: another program holds ") + name + " on the session bus" +
        kUnreachable);
}

}  // namespace vx::platform::linux_

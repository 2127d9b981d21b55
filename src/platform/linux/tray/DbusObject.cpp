#include "platform/linux/tray/DbusObject.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kErrorDomain = "GDBus";

}  // namespace

std::expected<std::unique_ptr<DbusObject>, Error> DbusObject::make(GDBusConnection* bus,
                                                                   const std::string& path,
                                                                   const char* introspection,
                                                                   MethodHandler onCall,
                                                                   PropertyHandler onGet) {
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, &error);
    if (node == nullptr) {
        Error failed{kErrorDomain, error->code, error->message};
        g_error_free(error);
        return std::unexpected(failed);
    }
    std::unique_ptr<DbusObject> object(
        new DbusObject(bus, path, node, std::move(onCall), std::move(onGet)));
    static const GDBusInterfaceVTable vtable{
        &DbusObject::onMethodCall, &DbusObject::onGetProperty, nullptr, {}};
    object->registration_ = g_dbus_connection_register_object(
        bus, path.c_str(), node->interfaces[0], &vtable, object.get(), nullptr, &error);
    if (object->registration_ == 0) {
        Error failed{kErrorDomain, error->code, error->message};
        g_error_free(error);
        return std::unexpected(failed);
    }
    return object;
}

DbusObject::DbusObject(GDBusConnection* bus, std::string path, GDBusNodeInfo* node,
                       MethodHandler onCall, PropertyHandler onGet)
    : bus_(G_DBUS_CONNECTION(g_object_ref(bus))),
      path_(std::move(path)),
      node_(node),
      onCall_(std::move(onCall)),
      onGet_(std::move(onGet)) {}

DbusObject::~DbusObject() {
    // GDBus drops calls already queued for an object that is gone, so none
    // reaches this one after it is unregistered.
    if (registration_ != 0) {
        g_dbus_connection_unregister_object(bus_, registration_);
    }
    g_dbus_node_info_unref(node_);
    g_object_unref(bus_);
}

void DbusObject::emit(const char* signal, GVariant* parameters) {
    g_dbus_connection_emit_signal(bus_, nullptr, path_.c_str(), node_->interfaces[0]->name, signal,
                                  parameters, nullptr);
}

void DbusObject::emitPropertiesChanged(GVariant* changed) {
    g_dbus_connection_emit_signal(bus_, nullptr, path_.c_str(), "org.freedesktop.DBus.Properties",
                                  "PropertiesChanged",
                                  g_variant_new("(s@a{sv}@as)", node_->interfaces[0]->name, changed,
                                                g_variant_new_strv(nullptr, 0)),
                                  nullptr);
}

void DbusObject::onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* method, GVariant* parameters,
                              GDBusMethodInvocation* invocation, gpointer self) {
    static_cast<DbusObject*>(self)->onCall_(method, parameters, invocation);
}

GVariant* DbusObject::onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* property, GError** error, gpointer self) {
    GVariant* value = static_cast<DbusObject*>(self)->onGet_(property);
    if (value == nullptr) {
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s.",
                    property);
    }
    return value;
}

}  // namespace vx::platform::linux_

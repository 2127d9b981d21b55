#include "platform/linux/tray/DbusObject.h"

#include <malloc.h>

#include <atomic>

namespace vx::platform::linux_ {

namespace {

constexpr const char* kErrorDomain = "GDBus";

// No method of ours takes more. A call with more is refused before any
// handler copies, looks up or answers a part of it, so that a hostile peer
// costs no more than GDBus's own reading of its message.
constexpr gsize kLongestString = 4096;
constexpr gsize kMostEntries = 1024;

// What in `value` is over the limits, or nullptr when nothing is.
const char* oversized(GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
        g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH) ||
        g_variant_is_of_type(value, G_VARIANT_TYPE_SIGNATURE)) {
        gsize length = 0;
        g_variant_get_string(value, &length);
        return length > kLongestString ? "a string longer than 4096 bytes" : nullptr;
    }
    if (!g_variant_is_container(value)) {
        return nullptr;
    }
    const gsize entries = g_variant_n_children(value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_ARRAY) && entries > kMostEntries) {
        return "an array of more than 1024 entries";
    }
    const char* found = nullptr;
    for (gsize i = 0; i < entries && found == nullptr; ++i) {
        GVariant* entry = g_variant_get_child_value(value, i);
        found = oversized(entry);
        g_variant_unref(entry);
    }
    return found;
}

// GDBus's reading of a refused message may have taken hundreds of megabytes,
// freed once the refusal is sent. The C library keeps freed memory for the
// process; a trim, once the main loop is idle again, gives it back. (GLib
// before 2.76 keeps its small blocks in a slice allocator of its own, out of a
// trim's reach, but reuses them for the next message.)
void returnFreedMemoryWhenIdle() {
    static std::atomic<bool> pending = false;
    if (pending.exchange(true)) {
        return;
    }
    g_idle_add_full(
        G_PRIORITY_LOW,
        [](gpointer) {
            malloc_trim(0);
            pending = false;
            return G_SOURCE_REMOVE;
        },
        nullptr, nullptr);
}

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
    if (const char* excess = oversized(parameters)) {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                              "%s was refused: its arguments hold %s.", method,
                                              excess);
        returnFreedMemoryWhenIdle();
        return;
    }
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

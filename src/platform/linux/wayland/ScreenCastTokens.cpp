#include "platform/linux/wayland/ScreenCastTokens.h"

#include <gio/gio.h>

#include <cstring>

namespace vx::platform::linux_ {

namespace {

std::string keyFor(uint32_t displayID) {
    return "screenCastRestoreToken." + std::to_string(displayID);
}

// Any application's entry granting the token counts: a program outside a
// sandbox has no application id of its own to look for.
bool grants(GVariant* permissions) {
    GVariantIter apps;
    g_variant_iter_init(&apps, permissions);
    const gchar* app = nullptr;
    GVariantIter* granted = nullptr;
    bool found = false;
    while (!found && g_variant_iter_next(&apps, "{&sas}", &app, &granted)) {
        const gchar* permission = nullptr;
        while (g_variant_iter_next(granted, "&s", &permission)) {
            found = found || std::strcmp(permission, "yes") == 0;
        }
        g_variant_iter_free(granted);
    }
    return found;
}

}  // namespace

std::optional<std::string> ScreenCastTokens::token(uint32_t displayID) const {
    auto stored = store_.value(keyFor(displayID));
    if (!stored) {
        return std::nullopt;
    }
    const auto* text = std::get_if<std::string>(&*stored);
    if (text == nullptr || text->empty()) {
        return std::nullopt;
    }
    return *text;
}

void ScreenCastTokens::store(uint32_t displayID, const std::string& token) {
    store_.set(keyFor(displayID), token);
}

void ScreenCastTokens::forget(uint32_t displayID) {
    store_.set(keyFor(displayID), std::string());
}

bool ScreenCastTokens::isGranted(uint32_t displayID) const {
    const auto stored = token(displayID);
    if (!stored) {
        return false;
    }
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.impl.portal.PermissionStore",
        "/org/freedesktop/impl/portal/PermissionStore",
        "org.freedesktop.impl.portal.PermissionStore", "Lookup",
        g_variant_new("(ss)", "screencast", stored->c_str()), G_VARIANT_TYPE("(a{sas}v)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    g_object_unref(bus);
    if (reply == nullptr) {
        return false;
    }
    GVariant* permissions = g_variant_get_child_value(reply, 0);
    const bool granted = grants(permissions);
    g_variant_unref(permissions);
    g_variant_unref(reply);
    return granted;
}

}  // namespace vx::platform::linux_

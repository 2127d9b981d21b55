#include "platform/linux/tray/SniWatcherRegistration.h"

#include <string>

namespace vx::platform::linux_ {

namespace {

constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";

}  // namespace

SniWatcherRegistration::SniWatcherRegistration(GDBusConnection* bus, Log& log)
    : bus_(G_DBUS_CONNECTION(g_object_ref(bus))), log_(log), cancellable_(g_cancellable_new()) {
    watch_ = g_bus_watch_name_on_connection(
        bus_, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE, &SniWatcherRegistration::onWatcherAppeared,
        &SniWatcherRegistration::onWatcherVanished, this, nullptr);
}

SniWatcherRegistration::~SniWatcherRegistration() {
    g_bus_unwatch_name(watch_);
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    g_object_unref(bus_);
}

void SniWatcherRegistration::logOnce(const char* line) {
    if (!logged_) {
        logged_ = true;
        log_.line(line);
    }
}

// The item is registered under the connection's unique name: the watcher
// then finds it at the standard path and drops it when the process ends.
void SniWatcherRegistration::onWatcherAppeared(GDBusConnection* bus, const gchar*,
                                               const gchar* owner, gpointer self) {
    auto* registration = static_cast<SniWatcherRegistration*>(self);
    g_dbus_connection_call(bus, owner, kWatcherPath, kWatcher, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", g_dbus_connection_get_unique_name(bus)), nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, registration->cancellable_,
                           &SniWatcherRegistration::onRegistered, registration);
}

// Called at once when no tray runs yet: the application tells the user if
// none comes, and a tray that goes away later is waited for quietly.
void SniWatcherRegistration::onWatcherVanished(GDBusConnection*, const gchar*, gpointer self) {
    static_cast<SniWatcherRegistration*>(self)->registered_ = false;
}

void SniWatcherRegistration::onRegistered(GObject* bus, GAsyncResult* result, gpointer self) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    if (reply != nullptr) {
        g_variant_unref(reply);
        auto* registration = static_cast<SniWatcherRegistration*>(self);
        registration->logged_ = true;
        registration->registered_ = true;
        return;
    }
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        const std::string line =
            std::string("Ventilux: the system tray refused the status item (") + error->message +
            "); the hot key still works.";
        static_cast<SniWatcherRegistration*>(self)->logOnce(line.c_str());
    }
    g_error_free(error);
}

}  // namespace vx::platform::linux_

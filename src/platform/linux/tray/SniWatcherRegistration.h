#pragma once

#include <gio/gio.h>

#include "platform/Log.h"

namespace vx::platform::linux_ {

// Keeps this connection's status item registered with the tray's
// org.kde.StatusNotifierWatcher: at once when a tray runs, and again each
// time a tray (re)starts. Without one the program carries on; a tray that
// refuses the item is one line in the log.
class SniWatcherRegistration {
  public:
    SniWatcherRegistration(GDBusConnection* bus, Log& log);
    ~SniWatcherRegistration();
    SniWatcherRegistration(const SniWatcherRegistration&) = delete;
    SniWatcherRegistration& operator=(const SniWatcherRegistration&) = delete;

    // Whether a running tray has taken the item.
    bool isRegistered() const { return registered_; }

  private:
    static void onWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar* owner,
                                  gpointer self);
    static void onWatcherVanished(GDBusConnection*, const gchar*, gpointer self);
    static void onRegistered(GObject* bus, GAsyncResult* result, gpointer self);
    void logOnce(const char* line);

    GDBusConnection* bus_;
    Log& log_;
    guint watch_ = 0;
    GCancellable* cancellable_;  // of registrations still waiting for their answer
    bool logged_ = false;        // main thread only
    bool registered_ = false;    // main thread only
};

}  // namespace vx::platform::linux_

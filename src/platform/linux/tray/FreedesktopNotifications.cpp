#include "platform/linux/tray/FreedesktopNotifications.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/tray/NotificationBody.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kServer = "org.freedesktop.Notifications";
constexpr const char* kBus = "org.freedesktop.DBus";

struct Search {
    GDBusConnection* bus;  // a reference of its own
    std::function<void(bool)> found;
    ~Search() { g_object_unref(bus); }
};

// The reply's value, or nullptr after an error.
GVariant* answer(GObject* bus, GAsyncResult* result) {
    return g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
}

void askBus(Search* search, const char* method, GVariant* parameters,
            GAsyncReadyCallback answered) {
    g_dbus_connection_call(search->bus, kBus, "/org/freedesktop/DBus", kBus, method, parameters,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, answered, search);
}

void activatableAnswered(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Search> search(static_cast<Search*>(data));
    bool activatable = false;
    if (GVariant* reply = answer(bus, result)) {
        GVariantIter* names = nullptr;
        g_variant_get(reply, "(as)", &names);
        const gchar* name = nullptr;
        while (!activatable && g_variant_iter_next(names, "&s", &name)) {
            activatable = g_str_equal(name, kServer);
        }
        g_variant_iter_free(names);
        g_variant_unref(reply);
    }
    search->found(activatable);
}

void ownerAnswered(GObject* bus, GAsyncResult* result, gpointer data) {
    auto* search = static_cast<Search*>(data);
    gboolean owned = FALSE;
    if (GVariant* reply = answer(bus, result)) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    if (owned) {
        std::unique_ptr<Search>(search)->found(true);
        return;
    }
    askBus(search, "ListActivatableNames", nullptr, &activatableAnswered);
}

void notifyAnswered(GObject* bus, GAsyncResult* result, gpointer) {
    if (GVariant* reply = answer(bus, result)) {
        g_variant_unref(reply);
    }
}

}  // namespace

// The server as far as showing text goes: whether it reads markup, asked once
// and kept. Notifications delivered before its answer wait for it, so that
// none shows entities as text or loses a "<" as markup.
class FreedesktopNotifications::Server : public std::enable_shared_from_this<Server> {
  public:
    explicit Server(GDBusConnection* bus) : bus_(G_DBUS_CONNECTION(g_object_ref(bus))) {}
    ~Server() { g_object_unref(bus_); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    void show(const std::string& title, const std::string& body) {
        if (readsMarkup_) {
            notify(title, body);
            return;
        }
        waiting_.emplace_back(title, body);
        if (waiting_.size() == 1) {
            // The answer holds this alive: it may come after the owner is gone.
            g_dbus_connection_call(bus_, kServer, "/org/freedesktop/Notifications", kServer,
                                   "GetCapabilities", nullptr, G_VARIANT_TYPE("(as)"),
                                   G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &capabilitiesAnswered,
                                   new std::shared_ptr<Server>(shared_from_this()));
        }
    }

  private:
    // A server that cannot say is taken to show plain text, as most do.
    static void capabilitiesAnswered(GObject* bus, GAsyncResult* result, gpointer data) {
        const std::unique_ptr<std::shared_ptr<Server>> held(
            static_cast<std::shared_ptr<Server>*>(data));
        Server& server = **held;
        server.readsMarkup_ = false;
        if (GVariant* reply = answer(bus, result)) {
            const gchar** capabilities = nullptr;
            g_variant_get(reply, "(^a&s)", &capabilities);
            server.readsMarkup_ = g_strv_contains(capabilities, "body-markup");
            g_free(capabilities);
            g_variant_unref(reply);
        }
        for (const auto& [title, body] : std::exchange(server.waiting_, {})) {
            server.notify(title, body);
        }
    }

    // Shown until the server's own timeout (-1); a server that is gone is no failure.
    void notify(const std::string& title, const std::string& body) const {
        const std::string shown = notificationBody(body, *readsMarkup_);
        g_dbus_connection_call(
            bus_, kServer, "/org/freedesktop/Notifications", kServer, "Notify",
            g_variant_new("(susss@as@a{sv}i)", "Ventilux", 0u, "", title.c_str(), shown.c_str(),
                          g_variant_new_strv(nullptr, 0),
                          g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0), -1),
            nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &notifyAnswered, nullptr);
    }

    GDBusConnection* bus_;             // a reference of its own
    std::optional<bool> readsMarkup_;  // known once the server answered
    // Titles and bodies since the question, asked for the first of them.
    std::vector<std::pair<std::string, std::string>> waiting_;
};

FreedesktopNotifications::~FreedesktopNotifications() {
    if (bus_ != nullptr) {
        g_object_unref(bus_);
    }
}

GDBusConnection* FreedesktopNotifications::bus() {
    if (!busTried_) {
        busTried_ = true;
        bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    }
    return bus_;
}

void FreedesktopNotifications::findServer(std::function<void(bool found)> handler) {
    if (bus() == nullptr) {
        handler(false);
        return;
    }
    // The search holds its own reference: it may outlive this object.
    auto* search = new Search{G_DBUS_CONNECTION(g_object_ref(bus_)), std::move(handler)};
    askBus(search, "NameHasOwner", g_variant_new("(s)", kServer), &ownerAnswered);
}

void FreedesktopNotifications::authorizationStatus(
    std::function<void(NotificationAuthorization)> handler) {
    findServer([handler = std::move(handler)](bool found) {
        handler(found ? NotificationAuthorization::authorized : NotificationAuthorization::denied);
    });
}

void FreedesktopNotifications::requestAuthorization(std::function<void(bool granted)> handler) {
    findServer(std::move(handler));
}

void FreedesktopNotifications::deliver(const std::string& title, const std::string& body,
                                       const std::string&) {
    if (bus() == nullptr) {
        return;
    }
    if (server_ == nullptr) {
        server_ = std::make_shared<Server>(bus_);
    }
    server_->show(title, body);
}

}  // namespace vx::platform::linux_

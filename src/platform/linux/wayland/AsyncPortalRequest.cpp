#include "platform/linux/wayland/AsyncPortalRequest.h"

#include <atomic>
#include <memory>
#include <utility>

namespace vx::platform::linux_ {

namespace {

constexpr uint32_t kResponseSuccess = 0;
constexpr uint32_t kResponseCancelled = 1;

// Held by both the call's reply and the Response subscription; whichever ends
// the request first answers.
struct Pending {
    Pending(GDBusConnection* connection, AsyncPortalRequest::Answer answer)
        : bus(G_DBUS_CONNECTION(g_object_ref(connection))), answered(std::move(answer)) {}
    ~Pending() { g_object_unref(bus); }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

    GDBusConnection* const bus;
    const AsyncPortalRequest::Answer answered;
    guint subscription = 0;
    bool done = false;

    void finish(std::expected<GVariant*, AsyncPortalRequest::Failure> results) {
        if (std::exchange(done, true)) {
            return;
        }
        g_dbus_connection_signal_unsubscribe(bus, subscription);
        answered(results);
    }
};
using Shared = std::shared_ptr<Pending>;

// Where the portal puts the request object: fixed by our bus name and the
// token, so that the subscription is in place before the call can be answered.
std::string requestPath(GDBusConnection* bus, const std::string& token) {
    std::string sender = g_dbus_connection_get_unique_name(bus);
    sender.erase(0, 1);  // the leading ':'
    for (char& c : sender) {
        if (c == '.') {
            c = '_';
        }
    }
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
    // A copy: finishing drops the subscription's own.
    Shared pending = *static_cast<Shared*>(data);
    using Kind = AsyncPortalRequest::Failure::Kind;
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
        pending->finish(std::unexpected(AsyncPortalRequest::Failure{
            Kind::refused, "the desktop answered in a form it does not document"}));
        return;
    }
    uint32_t response = 0;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &response, &results);
    if (response == kResponseSuccess) {
        pending->finish(results);
    } else {
        pending->finish(std::unexpected(
            response == kResponseCancelled
                ? AsyncPortalRequest::Failure{Kind::declined, "the user declined"}
                : AsyncPortalRequest::Failure{Kind::refused, "the desktop refused"}));
    }
    g_variant_unref(results);
}

void onCalled(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Shared> pending(static_cast<Shared*>(data));
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &failure);
    if (reply != nullptr) {
        g_variant_unref(reply);  // the request's path, known beforehand
        return;
    }
    const bool unreachable = g_error_matches(failure, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                             g_error_matches(failure, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
                             g_error_matches(failure, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE);
    (*pending)->finish(std::unexpected(
        AsyncPortalRequest::Failure{unreachable ? AsyncPortalRequest::Failure::Kind::unreachable
                                                : AsyncPortalRequest::Failure::Kind::busError,
                                    failure->message}));
    g_error_free(failure);
}

}  // namespace

std::string AsyncPortalRequest::newToken() {
    static std::atomic<uint64_t> next{1};
    return "ventilux" + std::to_string(next++);
}

std::optional<std::string> AsyncPortalRequest::sessionHandle(GVariant* results) {
    GVariant* handle = g_variant_lookup_value(results, "session_handle", nullptr);
    if (handle == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> named;
    if ((g_variant_is_of_type(handle, G_VARIANT_TYPE_STRING) ||
         g_variant_is_of_type(handle, G_VARIANT_TYPE_OBJECT_PATH)) &&
        g_variant_is_object_path(g_variant_get_string(handle, nullptr))) {
        named = g_variant_get_string(handle, nullptr);
    }
    g_variant_unref(handle);
    return named;
}

uint32_t AsyncPortalRequest::uint32Property(GDBusConnection* bus, const char* interface,
                                            const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", interface, name), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, nullptr);
    if (reply == nullptr) {
        return 0;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const uint32_t result =
        g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(value) : 0;
    g_variant_unref(value);
    g_variant_unref(reply);
    return result;
}

void AsyncPortalRequest::closeSession(GDBusConnection* bus, const std::string& handle) {
    g_dbus_connection_call(bus, kPortalName, handle.c_str(), "org.freedesktop.portal.Session",
                           "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr,
                           nullptr);
}

AsyncPortalRequest::Abandon AsyncPortalRequest::start(
    GDBusConnection* bus, const char* interface, const char* method,
    const std::function<GVariant*(const std::string& handleToken)>& parameters, Answer answered) {
    const std::string token = newToken();
    auto pending = std::make_shared<Pending>(bus, std::move(answered));
    pending->subscription = g_dbus_connection_signal_subscribe(
        bus, kPortalName, "org.freedesktop.portal.Request", "Response",
        requestPath(bus, token).c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onResponse,
        new Shared(pending), [](gpointer data) { delete static_cast<Shared*>(data); });
    g_dbus_connection_call(bus, kPortalName, kPortalPath, interface, method, parameters(token),
                           G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, onCalled,
                           new Shared(pending));
    return [weak = std::weak_ptr<Pending>(pending)] {
        if (Shared abandoned = weak.lock(); abandoned && !std::exchange(abandoned->done, true)) {
            g_dbus_connection_signal_unsubscribe(abandoned->bus, abandoned->subscription);
        }
    };
}

}  // namespace vx::platform::linux_

#include "platform/linux/PortalRequest.h"

#include <atomic>
#include <optional>

#include "platform/linux/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr uint32_t kResponseSuccess = 0;
constexpr uint32_t kResponseCancelled = 1;

struct Answer {
    std::optional<uint32_t> response;
    GVariant* results = nullptr;
    bool gaveUp = false;
};

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
    auto* answer = static_cast<Answer*>(data);
    if (answer->response || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
        return;
    }
    uint32_t response = 0;
    g_variant_get(parameters, "(u@a{sv})", &response, &answer->results);
    answer->response = response;
}

gboolean onGiveUp(gpointer data) {
    static_cast<Answer*>(data)->gaveUp = true;
    return G_SOURCE_REMOVE;
}

gboolean onCancelled(GCancellable*, gpointer data) {
    return onGiveUp(data);
}

// Where the portal puts the request object: fixed by our bus name and the token,
// so that the subscription can be in place before the call is made.
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

// Runs `context` until `answer` is settled.
void waitFor(GMainContext* context, Answer& answer, std::chrono::milliseconds deadline,
             GCancellable* cancellable) {
    GSource* timeout = g_timeout_source_new(static_cast<guint>(deadline.count()));
    g_source_set_callback(timeout, onGiveUp, &answer, nullptr);
    g_source_attach(timeout, context);
    GSource* cancelled = nullptr;
    if (cancellable != nullptr) {
        cancelled = g_cancellable_source_new(cancellable);
        g_source_set_callback(cancelled, G_SOURCE_FUNC(onCancelled), &answer, nullptr);
        g_source_attach(cancelled, context);
    }
    while (!answer.response && !answer.gaveUp) {
        g_main_context_iteration(context, TRUE);
    }
    g_source_destroy(timeout);
    g_source_unref(timeout);
    if (cancelled != nullptr) {
        g_source_destroy(cancelled);
        g_source_unref(cancelled);
    }
}

}  // namespace

std::string PortalRequest::newToken() {
    static std::atomic<uint64_t> next{1};
    return "ventilux" + std::to_string(next++);
}

std::expected<PortalRequest::Results, Error> PortalRequest::call(
    GDBusConnection* bus, const char* interface, const char* method,
    const std::function<GVariant*(const std::string& handleToken)>& parameters,
    std::chrono::milliseconds deadline, GCancellable* cancellable, const std::string& what) {
    const std::string token = newToken();
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    Answer answer;
    const guint subscription =
        g_dbus_connection_signal_subscribe(bus, kPortalName, "org.freedesktop.portal.Request",
                                           "Response", requestPath(bus, token).c_str(), nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, onResponse, &answer, nullptr);
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kPortalName, kPortalPath, interface, method, parameters(token), G_VARIANT_TYPE("(o)"),
        G_DBUS_CALL_FLAGS_NONE, -1, cancellable, &failure);
    if (reply != nullptr) {
        g_variant_unref(reply);
        waitFor(context, answer, deadline, cancellable);
    }
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (reply == nullptr) {
        const bool missing = g_error_matches(failure, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                             g_error_matches(failure, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
                             g_error_matches(failure, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE);
        Error error = screenCastError(
            missing ? ScreenCastErrorCode::portalMissing : ScreenCastErrorCode::refused,
            missing ? "This desktop offers no screen sharing to applications."
                    : "The desktop's screen sharing failed to " + what + ": " + failure->message);
        g_error_free(failure);
        return std::unexpected(std::move(error));
    }
    if (!answer.response) {
        return std::unexpected(screenCastError(
            ScreenCastErrorCode::noAnswer, "The desktop did not answer in time to " + what + "."));
    }
    Results results(answer.results, g_variant_unref);
    if (*answer.response == kResponseSuccess) {
        return results;
    }
    return std::unexpected(
        screenCastError(ScreenCastErrorCode::refused,
                        *answer.response == kResponseCancelled
                            ? "Screen sharing was not allowed."
                            : "The desktop's screen sharing failed to " + what + "."));
}

}  // namespace vx::platform::linux_

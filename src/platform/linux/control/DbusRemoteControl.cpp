#include "platform/linux/control/DbusRemoteControl.h"

#include <gio/gio.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/linux/control/RemoteControlObject.h"

namespace vx::platform::linux_ {

namespace {

constexpr int kAnswerPatienceMs = 1000;

struct Sending {
    RemoteRequest request;
    std::function<void(std::expected<void, Error>)> done;

    void fail(const std::string& sentence) {
        done(std::unexpected(Error{kAppErrorDomain, 0, sentence}));
    }
};

const char* methodOf(RemoteRequest request) {
    switch (request) {
        case RemoteRequest::toggle:
            return "Toggle";
        case RemoteRequest::start:
            return "Start";
        case RemoteRequest::stop:
            return "Stop";
    }
    return "Toggle";
}

bool matchesAny(const GError* error, std::initializer_list<std::pair<GQuark, int>> kinds) {
    for (const auto& [domain, code] : kinds) {
        if (g_error_matches(error, domain, code)) {
            return true;
        }
    }
    return false;
}

// Why the running copy did not take the request, as the user reads it.
std::string refusal(GError* error) {
    const std::string holder = std::string("The program that holds ") +
                               RemoteControlObject::kBusName + " on the session bus";
    if (matchesAny(error, {{G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN},
                           {G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER}})) {
        return "Ventilux is not running in this session.";
    }
    if (matchesAny(error, {{G_IO_ERROR, G_IO_ERROR_TIMED_OUT},
                           {G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT},
                           {G_DBUS_ERROR, G_DBUS_ERROR_TIMED_OUT},
                           {G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY}})) {
        return holder + " did not answer.";
    }
    if (matchesAny(error, {{G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD},
                           {G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT},
                           {G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE}})) {
        return holder + " is not Ventilux.";
    }
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED)) {
        return "The running Ventilux belongs to another user and refused the request.";
    }
    g_dbus_error_strip_remote_error(error);
    return std::string("The running Ventilux did not take the request: ") + error->message + ".";
}

void onAnswer(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Sending> sending(static_cast<Sending*>(data));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    if (reply != nullptr) {
        g_variant_unref(reply);
        sending->done({});
        return;
    }
    const std::string sentence = refusal(error);
    g_error_free(error);
    sending->fail(sentence);
}

void onBus(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Sending> sending(static_cast<Sending*>(data));
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (bus == nullptr) {
        sending->fail("Ventilux cannot be reached: this desktop session has no session bus.");
        return;
    }
    const char* method = methodOf(sending->request);
    // Never started by the bus: a copy started for one request would be a second tray copy.
    g_dbus_connection_call(bus, RemoteControlObject::kBusName, RemoteControlObject::kPath,
                           RemoteControlObject::kInterface, method, nullptr, G_VARIANT_TYPE_UNIT,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, kAnswerPatienceMs, nullptr, &onAnswer,
                           sending.release());
    g_object_unref(bus);
}

}  // namespace

std::unique_ptr<RemoteEndpoint> DbusRemoteControl::serve(
    std::function<void(RemoteRequest)> handler) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    auto endpoint = std::make_unique<RemoteControlObject>(bus, log_, getuid(), std::move(handler));
    if (bus != nullptr) {
        g_object_unref(bus);
    }
    return endpoint;
}

void DbusRemoteControl::send(RemoteRequest request,
                             std::function<void(std::expected<void, Error> taken)> done) {
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, &onBus, new Sending{request, std::move(done)});
}

}  // namespace vx::platform::linux_

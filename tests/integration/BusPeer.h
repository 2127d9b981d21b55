#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MainContext.h"

// What a test needs to stand on the other side of the session bus: a
// connection of its own (a tray host, a notification server), calls that
// wait on the main context while the code under test answers on it, and the
// signals that arrived.
namespace vx::bustest {

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

using fixtures::runUntil;

// As g_variant_print writes it; `typed` names the type where the text would not.
inline std::string text(GVariant* value, bool typed = false) {
    if (value == nullptr) {
        return "(no value)";
    }
    gchar* printed = g_variant_print(value, typed);
    std::string result = printed;
    g_free(printed);
    return result;
}

class BusPeer {
  public:
    BusPeer() {
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        EXPECT_NE(address, nullptr) << "no session bus";
        bus_ = g_dbus_connection_new_for_address_sync(
            address,
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        g_free(address);
    }
    ~BusPeer() {
        for (guint subscription : subscriptions_) {
            g_dbus_connection_signal_unsubscribe(bus_, subscription);
        }
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }
    BusPeer(const BusPeer&) = delete;
    BusPeer& operator=(const BusPeer&) = delete;

    GDBusConnection* connection() const { return bus_; }

    // Takes a well-known name for this connection; false when someone has it.
    bool own(const char* name) {
        Variant reply = callBus("RequestName", g_variant_new("(su)", name, 4u /* do not queue */));
        guint32 result = 0;
        if (reply) {
            g_variant_get(reply.get(), "(u)", &result);
        }
        return result == 1;
    }
    void release(const char* name) { callBus("ReleaseName", g_variant_new("(s)", name)); }
    bool hasOwner(const char* name) {
        Variant reply = callBus("NameHasOwner", g_variant_new("(s)", name));
        gboolean owned = FALSE;
        if (reply) {
            g_variant_get(reply.get(), "(b)", &owned);
        }
        return owned;
    }

    // The reply, or nullptr with `error` set. The main context runs meanwhile.
    Variant call(const std::string& destination, const char* path, const char* interface,
                 const char* method, GVariant* parameters, std::string* error = nullptr) {
        struct Pending {
            bool done = false;
            GVariant* reply = nullptr;
            std::string error;
        } pending;
        g_dbus_connection_call(
            bus_, destination.c_str(), path, interface, method, parameters, nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 10000, nullptr,
            [](GObject* bus, GAsyncResult* result, gpointer data) {
                auto* waiting = static_cast<Pending*>(data);
                GError* failure = nullptr;
                waiting->reply =
                    g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &failure);
                if (failure != nullptr) {
                    waiting->error = failure->message;
                    g_error_free(failure);
                }
                waiting->done = true;
            },
            &pending);
        runUntil([&] { return pending.done; }, 15);
        if (error != nullptr) {
            *error = pending.error;
        }
        return Variant(pending.reply);
    }
    // A property's value, or nullptr.
    Variant property(const std::string& destination, const char* path, const char* interface,
                     const char* name) {
        Variant reply = call(destination, path, "org.freedesktop.DBus.Properties", "Get",
                             g_variant_new("(ss)", interface, name));
        GVariant* value = nullptr;
        if (reply) {
            g_variant_get(reply.get(), "(v)", &value);
        }
        return Variant(value);
    }

    // One round trip to `peer`: the bus keeps each sender's messages in order,
    // so every signal it sent before answering is then in.
    void sync(const std::string& peer) {
        call(peer, "/", "org.freedesktop.DBus.Peer", "Ping", nullptr);
        runUntil([] { return !g_main_context_pending(nullptr); }, 1);
    }

    void listen(const std::string& sender, const char* interface) {
        subscriptions_.push_back(g_dbus_connection_signal_subscribe(
            bus_, sender.c_str(), interface, nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* member,
               GVariant* parameters, gpointer self) {
                static_cast<BusPeer*>(self)->signals_.push_back(std::string(member) + " " +
                                                                text(parameters));
            },
            this, nullptr));
        // The match rule goes to the bus without a reply; a call the bus answers
        // after it proves the rule is in place before anyone emits.
        Variant(g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    }

    // The signals `peer` sent since the last call, as "member parameters".
    std::vector<std::string> announced(const std::string& peer) {
        sync(peer);
        return std::exchange(signals_, {});
    }

  private:
    Variant callBus(const char* method, GVariant* parameters) {
        return call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                    parameters);
    }

    GDBusConnection* bus_ = nullptr;
    std::vector<guint> subscriptions_;
    std::vector<std::string> signals_;
};

// Afterwards every message `peer` sent to this process's own session-bus
// connection so far has been handled: the bus keeps one sender's messages in
// order, and the answer to this call comes after them. GDBus answers Ping
// before it runs calls that came earlier; to wait for the answers to those,
// name a method of the peer's own that it answers in turn.
inline void settle(const char* peer, const char* path = "/",
                   const char* interface = "org.freedesktop.DBus.Peer",
                   const char* method = "Ping") {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    Variant(g_dbus_connection_call_sync(bus, peer, path, interface, method, nullptr, nullptr,
                                        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    g_object_unref(bus);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// A stand-in desktop service (a python3-gi script) that holds `name` on the
// bus from the end of the constructor until the end of the destructor.
class StandIn {
  public:
    StandIn(BusPeer& peer, const char* script, const char* name,
            const std::vector<std::string>& arguments = {})
        : peer_(peer), name_(name) {
        if (script == nullptr) {
            ADD_FAILURE() << "no stand-in script for " << name;
            return;
        }
        std::vector<const gchar*> argv{"/usr/bin/python3", script};
        for (const std::string& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        argv.push_back(nullptr);
        GError* error = nullptr;
        process_ = g_subprocess_newv(argv.data(), G_SUBPROCESS_FLAGS_NONE, &error);
        if (process_ == nullptr) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return;
        }
        EXPECT_TRUE(runUntil([&] { return peer_.hasOwner(name_); })) << script << " never ran";
    }
    ~StandIn() {
        if (process_ != nullptr) {
            g_subprocess_send_signal(process_, SIGTERM);
            g_subprocess_wait(process_, nullptr, nullptr);
            g_object_unref(process_);
            EXPECT_TRUE(runUntil([&] { return !peer_.hasOwner(name_); }));
        }
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    void signal(int number) {
        if (process_ != nullptr) {
            g_subprocess_send_signal(process_, number);
        }
    }

  private:
    BusPeer& peer_;
    const char* const name_;
    GSubprocess* process_ = nullptr;
};

}  // namespace vx::bustest

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BusPeer.h"
#include "platform/linux/tray/DbusObject.h"
#include "platform/linux/tray/FreedesktopNotifications.h"

namespace vx {
namespace {

using bustest::BusPeer;
using bustest::runUntil;
using bustest::Variant;
using platform::NotificationAuthorization;
using platform::linux_::FreedesktopNotifications;

// A notification server of the test's own that keeps the bodies it is asked
// to show and tells what it can do.
class NotificationRecorder {
  public:
    explicit NotificationRecorder(BusPeer& peer) {
        auto object = platform::linux_::DbusObject::make(
            peer.connection(), "/org/freedesktop/Notifications",
            R"xml(<node><interface name="org.freedesktop.Notifications">
                <method name="Notify">
                  <arg type="s" direction="in"/><arg type="u" direction="in"/>
                  <arg type="s" direction="in"/><arg type="s" direction="in"/>
                  <arg type="s" direction="in"/><arg type="as" direction="in"/>
                  <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
                  <arg type="u" direction="out"/>
                </method>
                <method name="GetCapabilities"><arg type="as" direction="out"/></method>
              </interface></node>)xml",
            [this](const std::string& method, GVariant* parameters,
                   GDBusMethodInvocation* invocation) {
                if (method == "GetCapabilities") {
                    ++capabilityQuestions;
                    g_dbus_method_invocation_return_value(
                        invocation,
                        g_variant_new(
                            "(@as)", g_variant_new_strv(capabilities.data(), capabilities.size())));
                    return;
                }
                const gchar* body = nullptr;
                g_variant_get_child(parameters, 4, "&s", &body);
                bodies.emplace_back(body);
                g_dbus_method_invocation_return_value(
                    invocation, g_variant_new("(u)", uint32_t(bodies.size())));
            },
            [](const std::string&) { return nullptr; });
        EXPECT_TRUE(object.has_value());
        object_ = std::move(*object);
        EXPECT_TRUE(peer.own("org.freedesktop.Notifications"));
    }

    std::vector<std::string> bodies;
    std::vector<const char*> capabilities{"body"};
    int capabilityQuestions = 0;

  private:
    std::unique_ptr<platform::linux_::DbusObject> object_;
};

std::string repeated(std::string_view text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

// Bodies as a server that shows plain text and one that reads markup get them:
// at most 400 characters, the file name's line kept, markup shown as written.
TEST(FreedesktopNotifications, LongBodiesAreCutAndMarkupIsEscapedForServersThatReadIt) {
    const std::string fileLine = "\nVentilux-2024-05-01_10-00-00.mp4";  // 33 characters
    struct Case {
        const char* name;
        std::string body, plain, markup;
    };
    const std::vector<Case> cases{
        {"short", "Saved 12-frame time-lapse" + fileLine, "Saved 12-frame time-lapse" + fileLine,
         "Saved 12-frame time-lapse" + fileLine},
        {"markup characters", "Saved <b>&</b>\nA&B.mp4", "Saved <b>&</b>\nA&B.mp4",
         "Saved &lt;b&gt;&amp;&lt;/b&gt;\nA&amp;B.mp4"},
        {"long message", std::string(500, 'a') + fileLine, std::string(366, 'a') + "…" + fileLine,
         std::string(366, 'a') + "…" + fileLine},
        {"cut before escaping", std::string(500, '&') + fileLine,
         std::string(366, '&') + "…" + fileLine, repeated("&amp;", 366) + "…" + fileLine},
        {"two-byte characters", repeated("ü", 500), repeated("ü", 399) + "…",
         repeated("ü", 399) + "…"},
        {"a last line too long to keep", "Failed\n" + std::string(450, 'x'),
         "Failed\n" + std::string(392, 'x') + "…", "Failed\n" + std::string(392, 'x') + "…"},
        {"not UTF-8", "Saved \xff\xc3 movie", "Saved \uFFFD\uFFFD movie",
         "Saved \uFFFD\uFFFD movie"},
    };
    BusPeer peer;
    NotificationRecorder server(peer);
    for (const bool readsMarkup : {false, true}) {
        server.capabilities = {"body", "actions"};
        if (readsMarkup) {
            server.capabilities.push_back("body-markup");
        }
        server.capabilityQuestions = 0;
        server.bodies.clear();
        FreedesktopNotifications notifications;
        for (const Case& shown : cases) {
            notifications.deliver("Ventilux", shown.body, "id");
        }
        ASSERT_TRUE(runUntil([&] { return server.bodies.size() == cases.size(); }));
        for (size_t i = 0; i < cases.size(); ++i) {
            EXPECT_EQ(server.bodies[i], readsMarkup ? cases[i].markup : cases[i].plain)
                << cases[i].name << (readsMarkup ? " with markup" : "");
        }
        EXPECT_EQ(server.capabilityQuestions, 1);
    }
}

// A desktop without a notification server: nothing may wait for one, and
// nothing may fail. (With a server, tray-e2e.sh sees the notification arrive.)
TEST(FreedesktopNotifications, WithoutAServerNothingIsAllowedNothingWaitsAndNothingFails) {
    BusPeer peer;
    Variant activatable = peer.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "ListActivatableNames", nullptr);
    if (bustest::text(activatable.get()).find("org.freedesktop.Notifications") !=
        std::string::npos) {
        GTEST_SKIP() << "this machine's bus starts a notification server on demand";
    }
    FreedesktopNotifications notifications;
    std::optional<NotificationAuthorization> status;
    std::optional<bool> granted;
    notifications.authorizationStatus([&](NotificationAuthorization answer) { status = answer; });
    notifications.requestAuthorization([&](bool answer) { granted = answer; });
    ASSERT_TRUE(runUntil([&] { return status && granted; }));
    EXPECT_EQ(status, NotificationAuthorization::denied);
    EXPECT_EQ(granted, false);
    notifications.deliver("Ventilux", "Saved 1-frame time-lapse", "id");
    peer.sync("org.freedesktop.DBus");
}

}  // namespace
}  // namespace vx

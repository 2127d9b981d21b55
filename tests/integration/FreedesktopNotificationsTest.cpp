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

constexpr const char* kServer = "org.freedesktop.Notifications";

// A notification server of the test's own that keeps what it is asked to show
// and tells what it can do.
class NotificationRecorder {
  public:
    struct Shown {
        std::string appName, summary, body;
        uint32_t replaces = 0;
        int32_t timeout = 0;
    };

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
                    std::vector<const gchar*> names;
                    for (const std::string& name : capabilities) {
                        names.push_back(name.c_str());
                    }
                    names.push_back(nullptr);
                    g_dbus_method_invocation_return_value(invocation,
                                                          g_variant_new("(^as)", names.data()));
                    return;
                }
                const gchar *app, *icon, *summary, *body;
                Shown shown;
                g_variant_get(parameters, "(&su&s&s&s@as@a{sv}i)", &app, &shown.replaces, &icon,
                              &summary, &body, nullptr, nullptr, &shown.timeout);
                shown.appName = app;
                shown.summary = summary;
                shown.body = body;
                shownSoFar.push_back(shown);
                g_dbus_method_invocation_return_value(
                    invocation, g_variant_new("(u)", uint32_t(shownSoFar.size())));
            },
            [](const std::string&) { return nullptr; });
        EXPECT_TRUE(object.has_value());
        object_ = std::move(*object);
        EXPECT_TRUE(peer.own(kServer));
    }

    std::vector<Shown> shownSoFar;
    std::vector<std::string> capabilities{"body"};
    int capabilityQuestions = 0;

  private:
    std::unique_ptr<platform::linux_::DbusObject> object_;
};

struct Answers {
    std::optional<NotificationAuthorization> status;
    std::optional<bool> granted;
};

Answers ask(FreedesktopNotifications& notifications) {
    Answers answers;
    notifications.authorizationStatus(
        [&](NotificationAuthorization status) { answers.status = status; });
    notifications.requestAuthorization([&](bool granted) { answers.granted = granted; });
    EXPECT_TRUE(runUntil([&] { return answers.status && answers.granted; }));
    return answers;
}

TEST(FreedesktopNotifications, WithAServerItIsAllowedAndTheNotificationArrivesAsGiven) {
    BusPeer peer;
    NotificationRecorder server(peer);
    FreedesktopNotifications notifications;
    const Answers answers = ask(notifications);
    EXPECT_EQ(answers.status, NotificationAuthorization::authorized);
    EXPECT_EQ(answers.granted, true);

    const std::string body = "Saved 12-frame time-lapse\nVentilux-2024-05-01_10-00-00.mp4";
    notifications.deliver("Ventilux", body, "0F5A3E1C-0000-4000-8000-000000000000");
    ASSERT_TRUE(runUntil([&] { return !server.shownSoFar.empty(); }));
    const auto& shown = server.shownSoFar[0];
    EXPECT_EQ(shown.appName, "Ventilux");
    EXPECT_EQ(shown.summary, "Ventilux");
    EXPECT_EQ(shown.body, body);
    EXPECT_EQ(shown.replaces, 0u);
    EXPECT_EQ(shown.timeout, -1);
}

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
        server.shownSoFar.clear();
        FreedesktopNotifications notifications;
        for (const Case& shown : cases) {
            notifications.deliver("Ventilux", shown.body, "id");
        }
        ASSERT_TRUE(runUntil([&] { return server.shownSoFar.size() == cases.size(); }));
        for (size_t i = 0; i < cases.size(); ++i) {
            EXPECT_EQ(server.shownSoFar[i].body, readsMarkup ? cases[i].markup : cases[i].plain)
                << cases[i].name << (readsMarkup ? " with markup" : "");
        }
        EXPECT_EQ(server.capabilityQuestions, 1);
    }
}

TEST(FreedesktopNotifications, WithoutAServerNothingIsAllowedNothingWaitsAndNothingFails) {
    BusPeer peer;
    Variant activatable(peer.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "ListActivatableNames", nullptr));
    if (bustest::text(activatable.get()).find(kServer) != std::string::npos) {
        GTEST_SKIP() << "this machine's bus starts a notification server on demand";
    }
    FreedesktopNotifications notifications;
    const Answers answers = ask(notifications);
    EXPECT_EQ(answers.status, NotificationAuthorization::denied);
    EXPECT_EQ(answers.granted, false);
    notifications.deliver("Ventilux", "Saved 1-frame time-lapse", "id");
    peer.sync("org.freedesktop.DBus");
}

}  // namespace
}  // namespace vx

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

// A notification server of the test's own that keeps what it is asked to show.
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
              </interface></node>)xml",
            [this](const std::string&, GVariant* parameters, GDBusMethodInvocation* invocation) {
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

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "BusPeer.h"
#include "platform/linux/tray/FreedesktopNotifications.h"

namespace vx {
namespace {

using bustest::BusPeer;
using bustest::runUntil;
using bustest::Variant;
using platform::NotificationAuthorization;
using platform::linux_::FreedesktopNotifications;

// A desktop without a notification server: nothing may wait for one, and
// nothing may fail. (With a server, tray-e2e.sh sees the notification arrive.)
TEST(FreedesktopNotifications, WithoutAServerNothingIsAllowedNothingWaitsAndNothingFails) {
    BusPeer peer;
    Variant activatable(peer.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "ListActivatableNames", nullptr));
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

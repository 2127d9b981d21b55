#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "BusPeer.h"
#include "LogLines.h"
#include "platform/linux/control/RemoteControlObject.h"

namespace vx {
namespace {

using bustest::BusPeer;
using bustest::runUntil;
using bustest::Variant;
using platform::RemoteRequest;
using platform::linux_::RemoteControlObject;

// The running copy's object on the bus, and the test as another process.
class RemoteControlTest : public ::testing::Test {
  protected:
    // Serves the user `owner` on this process's session-bus connection.
    std::unique_ptr<RemoteControlObject> serve(uid_t owner) {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        copyName = g_dbus_connection_get_unique_name(bus);
        auto copy = std::make_unique<RemoteControlObject>(
            bus, log, owner, [this](RemoteRequest request) { requests.push_back(request); });
        g_object_unref(bus);
        EXPECT_TRUE(runUntil([&] { return caller.hasOwner(RemoteControlObject::kBusName); }));
        return copy;
    }
    // The error's text, empty when the call succeeded.
    std::string call(const char* method) {
        std::string error;
        caller.call(RemoteControlObject::kBusName, RemoteControlObject::kPath,
                    RemoteControlObject::kInterface, method, nullptr, &error);
        return error;
    }

    fixtures::Lines log;
    BusPeer caller;
    std::string copyName;
    std::vector<RemoteRequest> requests;
};

TEST_F(RemoteControlTest, EachRequestOfTheUserReachesTheCopyAndEachChangeIsAnnounced) {
    auto copy = serve(getuid());
    caller.listen(copyName, "org.freedesktop.DBus.Properties");
    for (const char* method : {"Toggle", "Start", "Stop"}) {
        EXPECT_EQ(call(method), "") << method;
    }
    EXPECT_EQ(requests,
              (std::vector{RemoteRequest::toggle, RemoteRequest::start, RemoteRequest::stop}));
    EXPECT_NE(call("Record").find("UnknownMethod"), std::string::npos);
    EXPECT_EQ(requests.size(), 3u);

    copy->publish({false, true});
    copy->publish({false, true});
    copy->publish({true, false});
    EXPECT_EQ(caller.announced(copyName),
              (std::vector<std::string>{
                  "PropertiesChanged ('lab.quimbry.Ventilux1', {'CountingDown': <true>}, [])",
                  "PropertiesChanged ('lab.quimbry.Ventilux1', {'Recording': <true>, "
                  "'CountingDown': <false>}, [])"}));
    Variant recording = caller.property(RemoteControlObject::kBusName, RemoteControlObject::kPath,
                                        RemoteControlObject::kInterface, "Recording");
    ASSERT_TRUE(recording);
    EXPECT_EQ(bustest::text(recording.get()), "true");
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(RemoteControlTest, ARequestFromAnotherUserIsRefused) {
    auto copy = serve(getuid() + 1);
    EXPECT_NE(call("Toggle").find("AccessDenied"), std::string::npos);
    EXPECT_TRUE(requests.empty());
}

}  // namespace
}  // namespace vx

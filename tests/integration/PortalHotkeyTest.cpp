#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BusPeer.h"
#include "HotkeyServiceFixture.h"
#include "platform/Services.h"
#include "platform/linux/wayland/PortalHotkeyService.h"
#include "system/Hotkey.h"

namespace vx {
namespace {

using bustest::BusPeer;
using bustest::runUntil;
using bustest::StandIn;
using bustest::Variant;
using platform::linux_::PortalHotkeyService;

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kControl = "lab.quimbry.ventilux.test.Portal";

// Against shortcuts-portal.py, a stand-in that offers GlobalShortcuts.
class PortalHotkeyTest : public fixtures::HotkeyServiceFixture<PortalHotkeyService> {
  protected:
    struct Session {
        std::string handle;
        std::string shortcut;  // empty until bound
        std::string trigger;
        bool closed;
    };

    // A stand-in that takes calls and answers none of them, like a hung portal.
    void freeze(bool frozen) { portal.signal(frozen ? SIGSTOP : SIGCONT); }
    void control(const char* method, GVariant* parameters) {
        std::string error;
        peer.call(kPortal, kPortalPath, kControl, method, parameters, &error);
        EXPECT_EQ(error, "") << method;
    }
    std::vector<Session> sessions() {
        Variant reply = peer.call(kPortal, kPortalPath, kControl, "Sessions", nullptr);
        std::vector<Session> listed;
        if (!reply) {
            ADD_FAILURE() << "the stand-in portal did not list its sessions";
            return listed;
        }
        GVariantIter* iter = nullptr;
        g_variant_get(reply.get(), "(a(sssb))", &iter);
        const gchar* handle = nullptr;
        const gchar* shortcut = nullptr;
        const gchar* trigger = nullptr;
        gboolean closed = FALSE;
        while (g_variant_iter_next(iter, "(&s&s&sb)", &handle, &shortcut, &trigger, &closed)) {
            listed.push_back({handle, shortcut, trigger, closed != FALSE});
        }
        g_variant_iter_free(iter);
        return listed;
    }
    // The newest session once `done` holds for it.
    std::optional<Session> newestSessionWhen(const std::function<bool(const Session&)>& done) {
        std::optional<Session> newest;
        runUntil([&] {
            std::vector<Session> now = sessions();
            newest = now.empty() ? std::nullopt : std::optional(now.back());
            return newest && done(*newest);
        });
        return newest && done(*newest) ? newest : std::nullopt;
    }
    std::optional<Session> bound() {
        return newestSessionWhen([](const Session& s) { return !s.shortcut.empty(); });
    }
    void activate(const std::string& session, const std::string& shortcut) {
        control("Activate", g_variant_new("(os)", session.c_str(), shortcut.c_str()));
    }
    void settle() { bustest::settle(kPortal); }

    BusPeer peer;
    StandIn portal{peer, std::getenv("SHORTCUTS_PORTAL"), kPortal};
};

TEST_F(PortalHotkeyTest, TheShortcutIsAskedForAsAltSuper5AndEachActivationRunsTheActionOnce) {
    int runs = 0;
    // Registering waits for no answer of the portal, so a hung one holds nobody up.
    freeze(true);
    ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
    freeze(false);
    std::optional<Session> session = bound();
    ASSERT_TRUE(session);
    EXPECT_EQ(session->shortcut, "VTLX-1");
    EXPECT_EQ(session->trigger, "ALT+LOGO+5");

    // What is not this shortcut of this session runs nothing.
    activate(session->handle, "VTLX-2");
    activate(session->handle + "x", "VTLX-1");
    activate(session->handle, "VTLX-1");
    settle();
    EXPECT_EQ(runs, 1);
    activate(session->handle, "VTLX-1");
    settle();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(logged->lines.empty());
}

TEST_F(PortalHotkeyTest, ARefusedBindingIsOneLogLineAndALaterOneCanSucceed) {
    struct Case {
        uint32_t response;
        std::string reason;
    };
    const std::vector<Case> cases{{2, "the desktop refused"}, {1, "the user declined"}};
    for (size_t i = 0; i < cases.size(); ++i) {
        control("SetBindResponse", g_variant_new("(u)", cases[i].response));
        int runs = 0;
        // Registered as soon as asked: the answer may wait for the user.
        ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
        ASSERT_TRUE(runUntil([&] { return logged->lines.size() == i + 1; })) << cases[i].reason;
        EXPECT_EQ(logged->lines.back(),
                  "Ventilux: The desktop did not grant the global shortcut "
                  "ALT+LOGO+5: " +
                      cases[i].reason + ".");
        Hotkey::unregister();
        EXPECT_TRUE(newestSessionWhen([](const Session& s) { return s.closed; }));
    }
    control("SetBindResponse", g_variant_new("(u)", 0u));
    int runs = 0;
    ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
    std::optional<Session> session = bound();
    ASSERT_TRUE(session);
    activate(session->handle, "VTLX-1");
    settle();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(logged->lines.size(), cases.size());
}

TEST_F(PortalHotkeyTest, UnregisterClosesTheSessionEvenWhenTheDesktopHadNotMadeItYet) {
    int runs = 0;
    ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
    Hotkey::unregister();  // before the main loop heard anything back
    std::optional<Session> first = newestSessionWhen([](const Session& s) { return s.closed; });
    ASSERT_TRUE(first);
    EXPECT_EQ(first->shortcut, "") << "a released registration binds nothing";

    ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
    std::optional<Session> second = bound();
    ASSERT_TRUE(second);
    EXPECT_NE(second->handle, first->handle);
    activate(first->handle, "VTLX-1");
    activate(second->handle, "VTLX-1");
    settle();
    EXPECT_EQ(runs, 1) << "only the open session's press runs";
    EXPECT_TRUE(logged->lines.empty());
}

// Against the real portal of a headless GNOME session, which has no
// GlobalShortcuts backend.
using GnomePortalHotkeyTest = fixtures::HotkeyServiceFixture<PortalHotkeyService>;

TEST_F(GnomePortalHotkeyTest, TheShortcutIsUnavailableOnThisDesktopNotTaken) {
    // The portal itself runs (the bus starts it on demand) and answers for what it
    // does offer, so the verdict below is its own and not that of a missing portal.
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    GError* error = nullptr;
    Variant screenCast(g_dbus_connection_call_sync(
        bus, kPortal, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.portal.ScreenCast", "version"), nullptr,
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error));
    g_object_unref(bus);
    ASSERT_TRUE(screenCast) << error->message;

    // The verdict comes later, on the main loop: registering waits for no answer.
    int runs = 0;
    EXPECT_TRUE(Hotkey::registerHotkey(counting(runs)));
    EXPECT_TRUE(runUntil([] { return !Hotkey::isRegistered(); }));
    EXPECT_TRUE(Hotkey::unavailableOnThisDesktop());
    EXPECT_TRUE(logged->lines.empty());
}

}  // namespace
}  // namespace vx

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "BusPeer.h"
#include "LogLines.h"
#include "platform/linux/tray/DbusObject.h"
#include "platform/linux/tray/SniStatusBar.h"

namespace vx {
namespace {

using bustest::BusPeer;
using bustest::runUntil;
using bustest::text;
using bustest::Variant;
using platform::Menu;
using platform::MenuItem;
using platform::StatusButtonLook;
using platform::StatusImage;
using platform::StatusImagePosition;
using platform::StatusTint;

constexpr const char* kItem = "org.kde.StatusNotifierItem";
constexpr const char* kMenu = "com.canonical.dbusmenu";

// The tray's side of the protocol: the watcher that items register with.
class FakeWatcher {
  public:
    explicit FakeWatcher(BusPeer& peer) : peer_(peer) {
        auto object = platform::linux_::DbusObject::make(
            peer.connection(), "/StatusNotifierWatcher",
            R"xml(<node><interface name="org.kde.StatusNotifierWatcher">
                <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
                <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
              </interface></node>)xml",
            [this](const std::string&, GVariant* parameters, GDBusMethodInvocation* invocation) {
                const gchar* service = nullptr;
                g_variant_get(parameters, "(&s)", &service);
                registered.emplace_back(service);
                g_dbus_method_invocation_return_value(invocation, nullptr);
            },
            [](const std::string&) { return g_variant_new_boolean(true); });
        EXPECT_TRUE(object.has_value());
        object_ = std::move(*object);
        EXPECT_TRUE(peer.own("org.kde.StatusNotifierWatcher"));
    }
    ~FakeWatcher() { peer_.release("org.kde.StatusNotifierWatcher"); }

    std::vector<std::string> registered;

  private:
    BusPeer& peer_;
    std::unique_ptr<platform::linux_::DbusObject> object_;
};

MenuItem item(std::string title, std::string action) {
    MenuItem made;
    made.title = std::move(title);
    made.action = std::move(action);
    return made;
}

// A menu with every kind of line the tray has to show.
Menu sampleMenu() {
    MenuItem start = item("Start Time-Lapse", "triggerRecording");
    start.keyEquivalent = "r";
    MenuItem label = item("Ventilux-2024 · 00:12", "");
    label.enabled = false;
    MenuItem realtime = item("RealTime", "toggleRealtime");
    realtime.checked = true;
    realtime.toolTip = "Record the screen at full speed with audio, instead of a time-lapse.";
    MenuItem fast = item("Every 250 ms", "setInterval:");
    fast.representedObject = 0.25;
    fast.checked = true;
    MenuItem slow = item("Every 2 s", "setInterval:");
    slow.representedObject = 2.0;
    MenuItem interval = item("Capture Interval", "");
    interval.submenu = {fast, slow};
    MenuItem microphone = item("USB_Mic", "setMicrophone:");
    microphone.representedObject = std::string("alsa_input.usb");
    MenuItem quit = item("Quit Ventilux", "quit");
    quit.keyEquivalent = "q";
    return {start, label, MenuItem::makeSeparator(), realtime, interval, microphone, quit};
}

// GetLayout's arguments; no names asks for every property.
GVariant* layoutOf(int32_t parent, int32_t depth, std::vector<const gchar*> names = {}) {
    names.push_back(nullptr);
    return g_variant_new("(ii^as)", parent, depth, names.data());
}

GVariant* idArray(const std::vector<int32_t>& ids) {
    return g_variant_new_fixed_array(G_VARIANT_TYPE_INT32, ids.data(), ids.size(), sizeof(int32_t));
}

// Ids as the host numbers them: depth first, from 1.
enum Id { kStart = 1, kLabel, kSeparator, kRealtime, kInterval, kFast, kSlow, kMicrophone, kQuit };

class SniStatusItemTest : public ::testing::Test {
  protected:
    // Each test has one item from the start; it finds a tray once one starts.
    std::unique_ptr<platform::StatusItem> makeItem() {
        return platform::linux_::SniStatusBar(log).makeStatusItem(
            [this] {
                ++builds;
                return menu;
            },
            [this](const MenuItem& chosen) { activated.push_back(chosen); });
    }
    // Calls go to the item's connection, which the watcher learnt.
    Variant menuCall(const std::string& service, const char* method, GVariant* parameters,
                     std::string* error = nullptr) {
        return host.call(service, "/MenuBar", kMenu, method, parameters, error);
    }
    std::string menuText(const std::string& service, const char* method, GVariant* parameters) {
        return text(menuCall(service, method, parameters).get());
    }
    Variant itemProperty(const std::string& service, const char* name) {
        Variant value = host.property(service, "/StatusNotifierItem", kItem, name);
        EXPECT_TRUE(value) << name;
        return value;
    }
    // Starts a tray; the service name the item registers with it.
    std::string registered() {
        watcher.emplace(host);
        EXPECT_TRUE(runUntil([&] { return !watcher->registered.empty(); }));
        return watcher->registered.empty() ? "" : watcher->registered.back();
    }

    fixtures::Lines log;
    BusPeer host;
    Menu menu = sampleMenu();
    int builds = 0;
    std::vector<MenuItem> activated;
    std::optional<FakeWatcher> watcher;
    std::unique_ptr<platform::StatusItem> statusItem = makeItem();
};

// Each pixmap is (width, height, ARGB32 bytes); returns the largest one's
// opaque pixels' colours as (r, g, b) and checks every size's byte count.
std::vector<std::array<int, 3>> opaqueColours(GVariant* pixmaps, int expectedCount) {
    EXPECT_EQ(int(g_variant_n_children(pixmaps)), expectedCount);
    std::vector<std::array<int, 3>> colours;
    for (size_t i = 0; i < g_variant_n_children(pixmaps); ++i) {
        Variant pixmap(g_variant_get_child_value(pixmaps, i));
        int32_t width = 0;
        int32_t height = 0;
        GVariant* data = nullptr;
        g_variant_get(pixmap.get(), "(ii@ay)", &width, &height, &data);
        size_t size = 0;
        const auto* bytes = static_cast<const uint8_t*>(g_variant_get_fixed_array(data, &size, 1));
        EXPECT_EQ(size, size_t(width) * height * 4);
        colours.clear();
        for (size_t p = 0; p + 3 < size; p += 4) {
            if (bytes[p] == 255) {
                colours.push_back({bytes[p + 1], bytes[p + 2], bytes[p + 3]});
            }
        }
        g_variant_unref(data);
    }
    return colours;
}

TEST_F(SniStatusItemTest, TheItemRegistersWithTheTrayAndDescribesItself) {
    statusItem->button().setLook(
        {StatusImage::icon, StatusImagePosition::imageOnly, "", StatusTint::none, "Ventilux"});
    const std::string service = registered();
    GDBusConnection* own = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    EXPECT_EQ(service, g_dbus_connection_get_unique_name(own));
    g_object_unref(own);

    const std::vector<std::tuple<const char*, const char*, std::string>> expected{
        {kItem, "Category", "'ApplicationStatus'"},
        {kItem, "Id", "'ventilux'"},
        {kItem, "Title", "'Ventilux'"},
        {kItem, "Status", "'Active'"},
        {kItem, "ItemIsMenu", "true"},
        {kItem, "Menu", "objectpath '/MenuBar'"},
        {kItem, "IconName", "''"},
        {kItem, "ToolTip", "('', @a(iiay) [], 'Ventilux', '')"},
        {kMenu, "Version", "uint32 3"},
        {kMenu, "Status", "'normal'"},
    };
    for (const auto& [interface, name, value] : expected) {
        const char* path =
            std::string_view(interface) == kItem ? "/StatusNotifierItem" : "/MenuBar";
        EXPECT_EQ(text(host.property(service, path, interface, name).get(), true), value) << name;
    }
    Variant pixmaps = itemProperty(service, "IconPixmap");
    ASSERT_TRUE(pixmaps);
    EXPECT_FALSE(opaqueColours(pixmaps.get(), 2).empty());
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(SniStatusItemTest, TheLayoutShowsEveryLineAsTheMenuSaysAndNumbersThemDepthFirst) {
    const std::string service = registered();

    // What xfce4-panel asks for when it starts: the whole tree.
    const std::string tree = menuText(service, "GetLayout", layoutOf(0, -1));
    EXPECT_EQ(builds, 1);
    const std::vector<std::string> expectedLines{
        "<(1, {'label': <'Start Time-Lapse'>, 'enabled': <true>, 'visible': <true>, "
        "'shortcut': <[['Control', 'r']]>}, @av [])>",
        "<(2, {'label': <'Ventilux-2024 · 00:12'>, 'enabled': <false>, 'visible': <true>}, @av "
        "[])>",
        "<(3, {'type': <'separator'>}, @av [])>",
        "<(4, {'label': <'RealTime'>, 'enabled': <true>, 'visible': <true>, 'toggle-type': "
        "<'checkmark'>, 'toggle-state': <1>, 'accessible-desc': <'Record the screen at full "
        "speed with audio, instead of a time-lapse.'>}, @av [])>",
        "<(5, {'label': <'Capture Interval'>, 'enabled': <true>, 'visible': <true>, "
        "'children-display': <'submenu'>}, [<(6, {'label': <'Every 250 ms'>, 'enabled': <true>, "
        "'visible': <true>, 'toggle-type': <'checkmark'>, 'toggle-state': <1>}, @av [])>, <(7, "
        "{'label': <'Every 2 s'>, 'enabled': <true>, 'visible': <true>}, @av [])>])>",
        "<(8, {'label': <'USB__Mic'>, 'enabled': <true>, 'visible': <true>}, @av [])>",
        "<(9, {'label': <'Quit Ventilux'>, 'enabled': <true>, 'visible': <true>, 'shortcut': "
        "<[['Control', 'q']]>}, @av [])>",
    };
    for (const std::string& line : expectedLines) {
        EXPECT_NE(tree.find(line), std::string::npos) << line << "\nin " << tree;
    }
    EXPECT_EQ(tree.find("(1, (0, {'children-display': <'submenu'>}, [<(1,"), 0u) << tree;

    // One level below the submenu, with only the labels asked for.
    EXPECT_EQ(menuText(service, "GetLayout", layoutOf(kInterval, 1, {"label"})),
              "(1, (5, {'label': <'Capture Interval'>}, [<(6, {'label': <'Every 250 "
              "ms'>}, @av [])>, <(7, {'label': <'Every 2 s'>}, @av [])>]))");
    EXPECT_EQ(builds, 1) << "only the root's layout may rebuild";

    const gchar* names[] = {"toggle-state", "type", nullptr};
    EXPECT_EQ(menuText(service, "GetGroupProperties",
                       g_variant_new("(@ai^as)", idArray({kRealtime, kSeparator, 999}), names)),
              "([(4, {'toggle-state': <1>}), (3, {'type': <'separator'>})],)");
    EXPECT_EQ(menuText(service, "GetProperty", g_variant_new("(is)", kMicrophone, "label")),
              "(<'USB__Mic'>,)");
    std::string error;
    EXPECT_FALSE(menuCall(service, "GetLayout", layoutOf(999, -1), &error));
    EXPECT_NE(error, "");
}

TEST_F(SniStatusItemTest, OpeningTheMenuRebuildsItAndAnnouncesOnlyWhatChanged) {
    const std::string service = registered();
    host.listen(service, kMenu);
    ASSERT_TRUE(menuCall(service, "GetLayout", layoutOf(0, -1)));
    auto aboutToShowGroup = [&](const std::vector<int32_t>& ids) {
        return menuText(service, "AboutToShowGroup", g_variant_new("(@ai)", idArray(ids)));
    };

    // A host that opens with the group form, then fetches what it was told changed.
    menu[0].title = "Stop Recording";
    EXPECT_EQ(aboutToShowGroup({0}), "([0], [])");
    EXPECT_EQ(builds, 2);
    const std::string changed = menuText(service, "GetLayout", layoutOf(0, -1));
    EXPECT_EQ(builds, 2) << "the layout the host was told about is served as it is";
    EXPECT_NE(changed.find("(2, (0,"), std::string::npos);
    EXPECT_NE(changed.find("'Stop Recording'"), std::string::npos);

    // Opening again with nothing changed: rebuilt, but no new revision and no signal.
    EXPECT_EQ(aboutToShowGroup({0, 999}), "([], [999])");
    EXPECT_EQ(builds, 3);

    // The single form, as other hosts use it; a submenu's opening rebuilds nothing.
    menu[3].checked = false;
    EXPECT_EQ(menuText(service, "AboutToShow", g_variant_new("(i)", 0)), "(true,)");
    EXPECT_EQ(menuText(service, "AboutToShow", g_variant_new("(i)", kInterval)), "(false,)");
    EXPECT_EQ(builds, 4);
    menuCall(service, "GetLayout", layoutOf(0, -1));
    EXPECT_EQ(builds, 4);

    EXPECT_EQ(host.announced(service),
              (std::vector<std::string>{"LayoutUpdated (2, 0)", "LayoutUpdated (3, 0)"}));

    // A host that only asks for the layout (no opening announced) still sees a fresh menu.
    menu[0].title = "Cancel Countdown";
    EXPECT_NE(menuText(service, "GetLayout", layoutOf(0, -1)).find("'Cancel Countdown'"),
              std::string::npos);
}

TEST_F(SniStatusItemTest, AClickActivatesTheChosenItemAndNothingElse) {
    const std::string service = registered();
    menuCall(service, "AboutToShow", g_variant_new("(i)", 0));

    // What a host sends for a click, in the group form; only one of these is a real choice.
    GVariantBuilder events;
    g_variant_builder_init(&events, G_VARIANT_TYPE("a(isvu)"));
    const std::vector<std::pair<int32_t, const char*>> sent{
        {kLabel, "clicked"}, {kSeparator, "clicked"}, {kInterval, "clicked"},
        {kQuit, "hovered"},  {999, "clicked"},        {kFast, "clicked"},
    };
    for (const auto& [id, eventId] : sent) {
        g_variant_builder_add(&events, "(isvu)", id, eventId, g_variant_new_string(""), 0u);
    }
    EXPECT_EQ(menuText(service, "EventGroup", g_variant_new("(a(isvu))", &events)), "([999],)");
    ASSERT_EQ(activated.size(), 1u);
    EXPECT_EQ(activated[0].title, "Every 250 ms");
    EXPECT_EQ(activated[0].action, "setInterval:");
    EXPECT_EQ(activated[0].representedObject, platform::RepresentedObject(0.25));

    // And the single form.
    menuCall(service, "Event",
             g_variant_new("(isvu)", kMicrophone, "clicked", g_variant_new_int32(0), 0u));
    ASSERT_EQ(activated.size(), 2u);
    EXPECT_EQ(activated[1].representedObject,
              platform::RepresentedObject(std::string("alsa_input.usb")));
}

// A peer may send anything; calls that are larger than any host's are refused
// before the menu builds, answers or activates anything from them.
TEST_F(SniStatusItemTest, OversizedArgumentsAreRefusedAndTheItemStillAnswers) {
    const std::string service = registered();
    const std::string longText(4097, 'x');
    const std::vector<int32_t> manyIds(1025, kQuit);
    std::vector<const gchar*> manyNames(1025, "label");
    manyNames.push_back(nullptr);
    const gchar* oneName[] = {"label", nullptr};
    GVariantBuilder manyClicks;
    g_variant_builder_init(&manyClicks, G_VARIANT_TYPE("a(isvu)"));
    for (int32_t id : manyIds) {
        g_variant_builder_add(&manyClicks, "(isvu)", id, "clicked", g_variant_new_int32(0), 0u);
    }
    struct Case {
        const char* method;
        GVariant* parameters;
        const char* path = "/MenuBar";
        const char* interface = kMenu;
    };
    const std::vector<Case> cases{
        {"GetLayout", layoutOf(0, -1, {longText.c_str()})},
        {"GetLayout", g_variant_new("(ii^as)", 0, -1, manyNames.data())},
        {"GetGroupProperties", g_variant_new("(@ai^as)", idArray(manyIds), oneName)},
        {"GetGroupProperties", g_variant_new("(@ai^as)", idArray({kQuit}), manyNames.data())},
        {"GetProperty", g_variant_new("(is)", kQuit, longText.c_str())},
        {"Event", g_variant_new("(isvu)", kQuit, longText.c_str(), g_variant_new_int32(0), 0u)},
        {"Event", g_variant_new("(isvu)", kQuit, "clicked", idArray(manyIds), 0u)},
        {"EventGroup", g_variant_new("(a(isvu))", &manyClicks)},
        {"AboutToShowGroup", g_variant_new("(@ai)", idArray(manyIds))},
        {"Scroll", g_variant_new("(is)", 1, longText.c_str()), "/StatusNotifierItem", kItem},
    };
    for (const auto& [method, parameters, path, interface] : cases) {
        std::string error;
        EXPECT_FALSE(host.call(service, path, interface, method, parameters, &error)) << method;
        EXPECT_NE(error.find("org.freedesktop.DBus.Error.InvalidArgs"), std::string::npos)
            << method << ": " << error;
        EXPECT_TRUE(menuCall(service, "GetLayout", layoutOf(0, -1))) << method;
    }
    EXPECT_TRUE(activated.empty());
    EXPECT_EQ(text(itemProperty(service, "Id").get()), "'ventilux'");
}

TEST_F(SniStatusItemTest, ALookChangeRedrawsTheIconAndRetitlesTheItem) {
    platform::StatusButton& button = statusItem->button();
    button.setLook(
        {StatusImage::icon, StatusImagePosition::imageOnly, "", StatusTint::none, "Ventilux"});
    const std::string service = registered();
    host.listen(service, kItem);

    const StatusButtonLook recording{StatusImage::icon, StatusImagePosition::imageOnly, "",
                                     StatusTint::systemRed,
                                     "Ventilux \u2014 recording (click to stop)"};
    button.setLook(recording);
    button.setLook(recording);
    EXPECT_EQ(button.look(), recording);
    EXPECT_EQ(host.announced(service), (std::vector<std::string>{"NewIcon ()", "NewToolTip ()"}));
    Variant red = itemProperty(service, "IconPixmap");
    for (const auto& [r, g, b] : opaqueColours(red.get(), 2)) {
        EXPECT_GT(r, 200);
        EXPECT_LT(g, 100);
    }
    EXPECT_EQ(text(itemProperty(service, "ToolTip").get()),
              "('', [], 'Ventilux — recording (click to stop)', '')");

    button.setLook({StatusImage::icon, StatusImagePosition::imageLeading, " 10",
                    StatusTint::systemRed, "Ventilux"});
    EXPECT_EQ(host.announced(service),
              (std::vector<std::string>{"NewIcon ()", "NewTitle ()", "NewToolTip ()"}));
    EXPECT_EQ(text(itemProperty(service, "Title").get()), "'Ventilux 10'");
    EXPECT_EQ(text(itemProperty(service, "ToolTip").get()), "('', [], 'Ventilux', '10')");
}

// Whether the icon shows is for the application to tell the user; the item
// itself only waits for a tray, quietly.
TEST_F(SniStatusItemTest, WithoutATrayTheItemIsNotShownAndRegistersWhenATrayStarts) {
    EXPECT_FALSE(statusItem->isShown());
    const std::string service = registered();
    EXPECT_FALSE(service.empty());
    EXPECT_TRUE(runUntil([&] { return statusItem->isShown(); }));

    // The panel restarts: the item comes back.
    watcher.reset();
    EXPECT_TRUE(runUntil([&] { return !statusItem->isShown(); }));
    EXPECT_EQ(registered(), service);
    EXPECT_TRUE(runUntil([&] { return statusItem->isShown(); }));
    EXPECT_EQ(log.lines, std::vector<std::string>{});
}

TEST_F(SniStatusItemTest, ASecondItemInTheSameProcessIsRefusedWithOneLineAndStillHoldsItsLook) {
    auto second = makeItem();
    const StatusButtonLook look{StatusImage::icon, StatusImagePosition::imageOnly, "",
                                StatusTint::systemRed, "Ventilux"};
    second->button().setLook(look);
    EXPECT_EQ(second->button().look(), look);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].rfind("Ventilux: cannot show the tray icon: ", 0), 0u) << log.lines[0];
}

}  // namespace
}  // namespace vx

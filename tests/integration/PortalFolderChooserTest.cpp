#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "BusPeer.h"
#include "LogLines.h"
#include "platform/linux/wayland/PortalFolderChooser.h"

namespace vx {
namespace {

using bustest::BusPeer;
using bustest::runUntil;
using bustest::StandIn;
using bustest::Variant;
using platform::linux_::PortalFolderChooser;
using Folder = std::optional<std::filesystem::path>;

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kControl = "lab.quimbry.ventilux.test.FileChooser";

// The folder dialog against file-chooser-portal.py, whose answers the test sets.
class PortalFolderChooserTest : public ::testing::Test {
  protected:
    Folder choose(const std::filesystem::path& current) {
        std::optional<Folder> answer;
        chooser.chooseFolder(current, [&](const Folder& folder) { answer = folder; });
        EXPECT_TRUE(runUntil([&] { return answer.has_value(); })) << "the dialog never answered";
        return answer.value_or(std::nullopt);
    }

    const char* const script = std::getenv("FILE_CHOOSER_PORTAL");
    fixtures::Lines log;
    BusPeer peer;
    PortalFolderChooser chooser{log};
};

TEST_F(PortalFolderChooserTest, OnlyAPortalThatChoosesFoldersOffersTheDialog) {
    struct Case {
        const char* version;
        bool available;
    };
    const std::vector<Case> cases{{"4", true}, {"3", true}, {"2", false}, {"0", false}};
    for (const Case& c : cases) {
        StandIn portal(peer, script, kPortal, {c.version});
        PortalFolderChooser asking(log);
        EXPECT_FALSE(asking.isAvailable()) << "the menu never waits for the answer";
        bustest::settle(kPortal, kPortalPath, kControl, "LastRequest");
        EXPECT_EQ(asking.isAvailable(), c.available) << "version " << c.version;
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(PortalFolderChooserTest, TheChosenFolderComesBackAsAPathAndACancelAsNothing) {
    StandIn portal(peer, script, kPortal);
    struct Case {
        uint32_t response;
        std::vector<const char*> uris;
        Folder folder;
        size_t logLines;  // so far
    };
    const std::vector<Case> cases{
        {0, {"file:///tmp/My%20Movies", "file:///tmp/other"}, "/tmp/My Movies", 0},
        {1, {}, std::nullopt, 0},  // cancelled: nothing to tell
        {2, {}, std::nullopt, 1},
        {0, {"https://example.org/movies"}, std::nullopt, 2},
    };
    for (const Case& c : cases) {
        std::vector<const char*> uris = c.uris;
        uris.push_back(nullptr);
        std::string error;
        peer.call(kPortal, kPortalPath, kControl, "SetAnswer",
                  g_variant_new("(u^as)", c.response, uris.data()), &error);
        ASSERT_EQ(error, "");
        EXPECT_EQ(choose("/home/u/My Desktop"), c.folder) << c.response;
        EXPECT_EQ(log.lines.size(), c.logLines) << c.response;
    }

    // The dialog was asked for folders, opened at the present one, with a title.
    Variant request = peer.call(kPortal, kPortalPath, kControl, "LastRequest", nullptr);
    ASSERT_TRUE(request);
    const gchar* title = nullptr;
    GVariant* options = nullptr;
    g_variant_get(request.get(), "(&s@a{sv})", &title, &options);
    Variant owned(options);
    EXPECT_STREQ(title, "Choose Recordings Folder");
    gboolean directory = FALSE;
    EXPECT_TRUE(g_variant_lookup(options, "directory", "b", &directory) && directory);
    Variant folder(g_variant_lookup_value(options, "current_folder", G_VARIANT_TYPE_BYTESTRING));
    ASSERT_TRUE(folder);
    gsize size = 0;
    const auto* bytes = static_cast<const char*>(g_variant_get_fixed_array(folder.get(), &size, 1));
    EXPECT_EQ(std::string(bytes, size), std::string("/home/u/My Desktop", 19)) << "NUL-terminated";
}

}  // namespace
}  // namespace vx

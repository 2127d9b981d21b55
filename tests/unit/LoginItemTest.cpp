#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/sim/SimPlatform.h"

#include "integration/TemporaryFolder.h"
#include "system/DesktopEntry.h"
#include "system/LoginItem.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using fixtures::contents;
using platform::Error;
using platform::sim::SimPlatform;
using platform::sim::SimProcessRunner;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const std::string kFailed = "Ventilux: login enable failed: ";

// A simulated desktop whose configuration folder is a fresh temporary one.
struct Desktop {
    fs::path config() { return sim.userDirs().configFolder; }
    fs::path entry() { return config() / "autostart" / "lab.quimbry.ventilux.login.desktop"; }
    SimProcessRunner::Run launchOfTheEntry() { return {"gio", {"launch", entry().string()}}; }

    SimPlatform sim;
};

class LoginItemTest : public ::testing::Test, public Desktop {};

TEST_F(LoginItemTest, EnableCreatesTheFoldersWritesTheEntryAndStartsItEachTime) {
    sim.processRunner().executable = fs::path("/opt/My Apps/ventilux");
    ASSERT_FALSE(fs::exists(config()));
    EXPECT_FALSE(LoginItem::isEnabled());

    EXPECT_TRUE(LoginItem::enable());
    EXPECT_TRUE(LoginItem::isEnabled());
    EXPECT_EQ(LoginItem::entryPath(), entry());
    EXPECT_EQ(contents(entry()),
              "[Desktop Entry]\nType=Application\nName=Ventilux\n"
              "Exec=\"/opt/My Apps/ventilux\"\n");
    // Enabled again after the program moved, the entry follows it.
    sim.processRunner().executable = fs::path("/usr/local/bin/ventilux");
    EXPECT_TRUE(LoginItem::setEnabled(true));
    EXPECT_THAT(contents(entry()), ::testing::HasSubstr("Exec=\"/usr/local/bin/ventilux\"\n"));
    EXPECT_THAT(sim.processRunner().runs, ElementsAre(launchOfTheEntry(), launchOfTheEntry()));
    EXPECT_THAT(sim.log().lines, IsEmpty());
}

TEST(LoginItem, AFailureIsLoggedRunsNoToolAndLeavesAnEarlierEntryAlone) {
    const struct {
        const char* name;
        // Breaks the desktop; returns how the log line goes on (empty: anything).
        std::function<std::string(Desktop&)> breakIt;
    } cases[] = {
        {"write",
         [](Desktop& t) {
             t.sim.atomicFiles().failure = Error{"sim", 5, "Disk full."};
             return "Disk full.";
         }},
        {"program",
         [](Desktop& t) {
             t.sim.processRunner().executable =
                 std::unexpected(Error{"sim", 2, "No program file."});
             return "No program file.";
         }},
        {"not UTF-8",
         [](Desktop& t) {
             t.sim.processRunner().executable = fs::path("/opt/\xff/ventilux");
             return "";
         }},
        {"folder",
         [](Desktop& t) {
             // The configuration folder cannot hold folders: it is a file.
             fs::remove_all(t.config());
             std::ofstream(t.config()) << "not a folder";
             return "Could not create the folder " + (t.config() / "autostart").string() +
                    ": Not a directory.";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Desktop test;
        ASSERT_TRUE(LoginItem::enable());  // an entry from before
        test.sim.processRunner().runs.clear();
        const std::string cause = c.breakIt(test);
        const std::string before = contents(test.entry());

        EXPECT_FALSE(LoginItem::setEnabled(true));
        ASSERT_EQ(test.sim.log().lines.size(), 1u);
        EXPECT_THAT(test.sim.log().lines[0], StartsWith(kFailed + cause));
        EXPECT_THAT(test.sim.processRunner().runs, IsEmpty());
        EXPECT_EQ(contents(test.entry()), before);
    }
}

TEST_F(LoginItemTest, DisableRemovesTheEntryAndSucceedsWithoutOne) {
    ASSERT_TRUE(LoginItem::enable());
    sim.processRunner().runs.clear();
    EXPECT_TRUE(LoginItem::setEnabled(false));
    EXPECT_FALSE(LoginItem::isEnabled());
    EXPECT_TRUE(LoginItem::setEnabled(false));
    EXPECT_THAT(sim.processRunner().runs, IsEmpty()) << "an entry has nothing loaded to unload";
    EXPECT_THAT(sim.log().lines, IsEmpty());
}

// What an Exec line must hold so that the command-line quoting, the key
// file's escapes and the field codes each give back exactly the path.
TEST(DesktopEntry, ExecQuotesThePathForTheCommandLineThenEscapesItForTheKeyFile) {
    const struct {
        std::string path, exec;
    } cases[] = {
        {"/usr/bin/ventilux", R"("/usr/bin/ventilux")"},
        {"/opt/my apps/ventilux", R"("/opt/my apps/ventilux")"},
        {R"(/a"b/v)", R"("/a\\"b/v")"},
        {"/a`b/v", R"("/a\\`b/v")"},
        {"/a$HOME/v", R"("/a\\$HOME/v")"},
        {R"(/a\b/v)", R"("/a\\\\b/v")"},
        {"/a'b;c&d|e/v", R"("/a'b;c&d|e/v")"},
        {"/a\nb\tc/v", R"("/a\nb\tc/v")"},
        {"/a%fb/v", R"(/bin/sh -c "exec \\"\\$0\\"" "/a%%fb/v")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DesktopEntry::execValue(c.path), c.exec) << c.path;
    }
}

TEST(DesktopEntry, APathThatIsNotUtf8CannotBeNamed) {
    for (const char* path : {"/opt/\xff/ventilux", "/opt/\xC0\xAF/ventilux", "/opt/\xED\xA0\x80/v",
                             "/opt/\xE2\x82/v"}) {
        EXPECT_FALSE(DesktopEntry::applicationEntry(path)) << path;
    }
    auto entry = DesktopEntry::applicationEntry("/opt/caf\xC3\xA9 \xE2\x8C\x98/ventilux");
    ASSERT_TRUE(entry);
    EXPECT_EQ(*entry,
              "[Desktop Entry]\nType=Application\nName=Ventilux\n"
              "Exec=\"/opt/caf\xC3\xA9 \xE2\x8C\x98/ventilux\"\n");
}

}  // namespace
}  // namespace vx

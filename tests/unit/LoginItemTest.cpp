#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sim/SimPlatform.h"

#include "app/AppDelegate.h"
#include "system/LoginItem.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::Error;
using platform::sim::SimPlatform;
using platform::sim::SimProcessRunner;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const std::string kFailed = "Ventilux: login enable failed: ";

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A simulated desktop whose configuration folder is a fresh temporary one.
struct Desktop {
    fs::path config() { return sim.userDirs().configFolder; }
    fs::path entry() { return config() / "autostart" / "lab.quimbry.ventilux.login.desktop"; }
    SimProcessRunner::Run launchOfTheEntry() { return {"gio", {"launch", entry().string()}}; }
    // The configuration folder cannot hold folders: it is a file.
    void breakTheConfigFolder() {
        fs::create_directories(config().parent_path());
        std::ofstream(config()) << "not a folder";
    }

    SimPlatform sim;
};

class LoginItemTest : public ::testing::Test, public Desktop {};

TEST_F(LoginItemTest, EnableCreatesTheFoldersWritesTheEntryAndStartsItNow) {
    sim.processRunner().executable = fs::path("/opt/My Apps/ventilux");
    ASSERT_FALSE(fs::exists(config()));
    EXPECT_FALSE(LoginItem::isEnabled());

    EXPECT_TRUE(LoginItem::enable());
    EXPECT_TRUE(LoginItem::isEnabled());
    EXPECT_EQ(LoginItem::entryPath(), entry());
    EXPECT_EQ(contents(entry()),
              "[Desktop Entry]\nType=Application\nName=Ventilux\n"
              "Exec=\"/opt/My Apps/ventilux\"\n");
    EXPECT_THAT(sim.processRunner().runs, ElementsAre(launchOfTheEntry()));
    EXPECT_THAT(sim.log().lines, IsEmpty());
}

TEST_F(LoginItemTest, EnablingTwiceRewritesTheEntryAndStartsItEachTime) {
    EXPECT_TRUE(LoginItem::setEnabled(true));
    sim.processRunner().executable = fs::path("/usr/local/bin/ventilux");
    EXPECT_TRUE(LoginItem::setEnabled(true));
    EXPECT_THAT(contents(entry()), ::testing::HasSubstr("Exec=\"/usr/local/bin/ventilux\"\n"));
    EXPECT_THAT(sim.processRunner().runs, ElementsAre(launchOfTheEntry(), launchOfTheEntry()));
}

TEST(LoginItem, AFailureIsLoggedRunsNoToolAndLeavesAnEarlierEntryAlone) {
    struct Case {
        const char* name;
        std::function<void(Desktop&)> breakIt;
        std::string cause;  // how the log line goes on; empty: anything
    };
    const std::vector<Case> cases{
        {"write",
         [](Desktop& t) {
             t.sim.atomicFiles().failure = Error{"sim", 5, "Disk full."};
         },
         "Disk full."},
        {"program",
         [](Desktop& t) {
             t.sim.processRunner().executable =
                 std::unexpected(Error{"sim", 2, "No program file."});
         },
         "No program file."},
        {"not UTF-8",
         [](Desktop& t) { t.sim.processRunner().executable = fs::path("/opt/\xff/ventilux"); }, ""},
    };
    for (const Case& c : cases) {
        Desktop test;
        ASSERT_TRUE(LoginItem::enable()) << c.name;  // an entry from before
        const std::string before = contents(test.entry());
        test.sim.processRunner().runs.clear();
        c.breakIt(test);

        EXPECT_FALSE(LoginItem::setEnabled(true)) << c.name;
        ASSERT_EQ(test.sim.log().lines.size(), 1u) << c.name;
        EXPECT_THAT(test.sim.log().lines[0], StartsWith(kFailed + c.cause)) << c.name;
        EXPECT_THAT(test.sim.processRunner().runs, IsEmpty()) << c.name;
        EXPECT_EQ(contents(test.entry()), before) << c.name;
    }
}

TEST_F(LoginItemTest, TheFolderFailureNamesTheFolderAndWhyAndRunsNoTool) {
    breakTheConfigFolder();
    EXPECT_FALSE(LoginItem::enable());
    EXPECT_THAT(sim.log().lines,
                ElementsAre(kFailed + "Could not create the folder " +
                            (config() / "autostart").string() + ": Not a directory."));
    EXPECT_THAT(sim.processRunner().runs, IsEmpty());
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

// The runs as the command line starts them, through the application delegate.
TEST(LoginSwitches, PrintOneLineAndExitWithTheirStatus) {
    struct Case {
        const char* name;
        const char* argument;
        bool entryBefore;
        bool writeFails;
        std::string line;
        int status;
        bool entryAfter;
    };
    const std::vector<Case> cases{
        {"enable", "--enable-login", false, false, "LOGIN: enabled=true status=true\n", 0, true},
        {"enable fails", "--enable-login", false, true, "LOGIN: enabled=false status=false\n", 1,
         false},
        {"enable fails over an old entry", "--enable-login", true, true,
         "LOGIN: enabled=false status=true\n", 1, true},
        {"disable", "--disable-login", true, false, "LOGIN: disabled=true\n", 0, false},
        {"disable without entry", "--disable-login", false, false, "LOGIN: disabled=true\n", 0,
         false},
    };
    for (const Case& c : cases) {
        SimPlatform sim;
        if (c.entryBefore) {
            ASSERT_TRUE(LoginItem::enable()) << c.name;
        }
        if (c.writeFails) {
            sim.atomicFiles().failure = Error{"sim", 5, "Disk full."};
        }
        sim.app().args = {"/usr/bin/ventilux", c.argument};
        AppDelegate delegate;
        sim.app().run([&delegate] { delegate.applicationDidFinishLaunching(); });
        sim.dispatch().runUntilIdle();

        EXPECT_THAT(sim.stdErr().writes, ElementsAre(c.line)) << c.name;
        EXPECT_EQ(sim.dispatch().exitStatus(), c.status) << c.name;
        EXPECT_EQ(LoginItem::isEnabled(), c.entryAfter) << c.name;
    }
}

}  // namespace
}  // namespace vx

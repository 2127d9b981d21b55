#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "TemporaryFolder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using fixtures::contents;

const std::string kEntryName = "lab.quimbry.ventilux.login.desktop";
// Only something lost comes anywhere near this.
constexpr auto kPatience = std::chrono::seconds(10);

void writeExecutable(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// Waits for a file that another process writes in one rename.
bool appears(const fs::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!fs::exists(file)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

struct Finished {
    std::string standardError;
    int status = -1;
};

// A home folder of its own, and on the search path a "gio" that only notes
// its arguments, so that enabling starts nothing real.
class LoginSwitches : public ::testing::Test {
  protected:
    LoginSwitches() {
        const char* binary = std::getenv("VENTILUX_BINARY");
        program = binary != nullptr ? binary : "";
        fs::create_directories(home);
        fs::create_directories(tools);
        writeExecutable(tools / "gio",
                        "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.new\"\n"
                        "mv \"$0.args.new\" \"$0.args\"\n");
    }

    void SetUp() override { ASSERT_FALSE(program.empty()) << "VENTILUX_BINARY is not set"; }

    fs::path entry() const { return home / ".config" / "autostart" / kEntryName; }
    fs::path gioArguments() const { return tools / "gio.args"; }

    Finished run(const fs::path& binary, const std::string& argument) {
        std::vector<std::string> environment{"HOME=" + home.string(),
                                             "PATH=" + tools.string() + ":/usr/bin:/bin"};
        std::vector<char*> envp;
        for (std::string& variable : environment) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        std::string path = binary.string();
        std::string switchArgument = argument;
        char* argv[] = {path.data(), switchArgument.data(), nullptr};
        gchar* standardError = nullptr;
        gint waitStatus = 0;
        GError* error = nullptr;
        Finished finished;
        if (!g_spawn_sync(nullptr, argv, envp.data(), G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr,
                          nullptr, &standardError, &waitStatus, &error)) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return finished;
        }
        finished.standardError = standardError;
        g_free(standardError);
        finished.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
        return finished;
    }

    fs::path program;
    fixtures::TemporaryFolder folder{"ventilux-login"};
    const fs::path root = folder.path();
    const fs::path home = root / "home";
    const fs::path tools = root / "tools";
};

TEST_F(LoginSwitches, EnableWritesTheEntryStartsItAndReportsBothTrue) {
    Finished enabled = run(program, "--enable-login");
    EXPECT_EQ(enabled.standardError, "LOGIN: enabled=true status=true\n");
    EXPECT_EQ(enabled.status, 0);
    ASSERT_TRUE(fs::exists(entry()));
    EXPECT_NE(contents(entry()).find("\nExec=\"" + fs::canonical(program).string() + "\"\n"),
              std::string::npos)
        << contents(entry());
    ASSERT_TRUE(appears(gioArguments()));
    EXPECT_EQ(contents(gioArguments()), "launch\n" + entry().string() + "\n");
}

TEST_F(LoginSwitches, AnAutostartFolderThatCannotBeMadeFailsWithStatusOne) {
    std::ofstream(home / ".config") << "a file where the folder should be";
    Finished enabled = run(program, "--enable-login");
    EXPECT_EQ(enabled.status, 1);
    const std::string line = "LOGIN: enabled=false status=false\n";
    ASSERT_GE(enabled.standardError.size(), line.size());
    EXPECT_EQ(enabled.standardError.substr(enabled.standardError.size() - line.size()), line);
    // Without a system log to take it, the log line comes on standard error too.
    if (!fs::exists("/dev/log") && !fs::exists("/run/systemd/journal/socket")) {
        EXPECT_NE(enabled.standardError.find("Ventilux: login enable failed: Could not create the "
                                             "folder " +
                                             (home / ".config" / "autostart").string() +
                                             ": Not a directory.\n"),
                  std::string::npos)
            << enabled.standardError;
    }
    EXPECT_FALSE(fs::exists(gioArguments()));
}

// The entry is read back the way the session reads it: GLib's launcher parses
// it, expands it and starts what it names. Every character the command line
// or the key file treats specially is in the path, and a copy of the program
// there wrote the entry; a recorder then stands in its place to show what
// was started.
TEST_F(LoginSwitches, APathFullOfSpecialCharactersStartsThatProgramAndNothingElse) {
    const fs::path folder =
        root / "my \"apps\" 'n' $HOME %f %% \\n \\ `touch pwned` $(touch pwned) ;&|<>*?~#=\t\n!";
    fs::create_directories(folder);
    const fs::path copy = folder / "ventilux";
    fs::copy_file(program, copy);
    Finished enabled = run(copy, "--enable-login");
    ASSERT_EQ(enabled.status, 0) << enabled.standardError;
    ASSERT_TRUE(appears(gioArguments()));

    const fs::path record = root / "started";
    fs::remove(copy);
    writeExecutable(copy, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$#\" > " + record.string() +
                              ".new\nmv " + record.string() + ".new " + record.string() + "\n");
    const fs::path workFolder = root / "work";
    fs::create_directories(workFolder);
    const std::string launch = "cd '" + workFolder.string() + "' && HOME='" + home.string() +
                               "' /usr/bin/gio launch '" + entry().string() + "'";
    ASSERT_EQ(std::system(launch.c_str()), 0);
    ASSERT_TRUE(appears(record));
    EXPECT_EQ(contents(record), copy.string() + "\n0\n");
    EXPECT_TRUE(fs::is_empty(workFolder)) << "nothing in the path was run as a command";
}

}  // namespace
}  // namespace vx

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "MainContext.h"
#include "TemporaryFolder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using fixtures::contents;

// A shell script at `file` that notes its path and arguments in `record`, in one rename.
void writeRecorder(const fs::path& file, const fs::path& record) {
    std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + record.string() +
                               ".new'\nmv '" + record.string() + ".new' '" + record.string() +
                               "'\n";
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// A file that another process writes in one rename.
bool appears(const fs::path& file) {
    return fixtures::runUntil([&] { return fs::exists(file); });
}

// The real program, copied to a path holding every character the command
// line or the key file treats specially, enables itself at login with a home
// of its own; a "gio" on the search path notes how it was asked to start the
// entry. The entry is then read back the way the session reads it: GLib's
// launcher parses it, expands it and starts what it names, here a recorder in
// the program's place.
TEST(LoginSwitches, EnableStartsTheProgramFromAPathFullOfSpecialCharactersAndNothingElse) {
    const char* program = std::getenv("VENTILUX_BINARY");
    ASSERT_NE(program, nullptr) << "VENTILUX_BINARY is not set";
    fixtures::TemporaryFolder folder{"ventilux-login"};
    const fs::path root = folder.path(), home = root / "home", tools = root / "tools";
    const fs::path entry = home / ".config" / "autostart" / "lab.quimbry.ventilux.login.desktop";
    const fs::path odd =
        root / "my \"apps\" 'n' $HOME %f %% \\n \\ `touch pwned` $(touch pwned) ;&|<>*?~#=\t\n!";
    const fs::path copy = odd / "ventilux";
    fs::create_directories(odd);
    fs::create_directories(home);
    fs::create_directories(tools);
    fs::copy_file(program, copy);
    writeRecorder(tools / "gio", root / "gio-run");

    std::string path = copy.string(), option = "--enable-login";
    std::string environment[] = {"HOME=" + home.string(),
                                 "PATH=" + tools.string() + ":/usr/bin:/bin"};
    char* argv[] = {path.data(), option.data(), nullptr};
    char* envp[] = {environment[0].data(), environment[1].data(), nullptr};
    gchar* standardError = nullptr;
    gint waitStatus = 0;
    ASSERT_TRUE(g_spawn_sync(nullptr, argv, envp, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr,
                             nullptr, &standardError, &waitStatus, nullptr));
    EXPECT_STREQ(standardError, "LOGIN: enabled=true status=true\n");
    g_free(standardError);
    EXPECT_TRUE(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0);
    ASSERT_TRUE(appears(root / "gio-run"));
    EXPECT_TRUE(contents(root / "gio-run").ends_with("\nlaunch\n" + entry.string() + "\n"));

    fs::remove(copy);
    writeRecorder(copy, root / "started");
    const fs::path workFolder = root / "work";
    fs::create_directories(workFolder);
    const std::string launch = "cd '" + workFolder.string() + "' && HOME='" + home.string() +
                               "' /usr/bin/gio launch '" + entry.string() + "'";
    ASSERT_EQ(std::system(launch.c_str()), 0);
    ASSERT_TRUE(appears(root / "started"));
    EXPECT_EQ(contents(root / "started"), copy.string() + "\n") << "started with no arguments";
    EXPECT_TRUE(fs::is_empty(workFolder)) << "nothing in the path was run as a command";
}

}  // namespace
}  // namespace vx

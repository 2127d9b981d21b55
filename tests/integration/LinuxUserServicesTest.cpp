#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TemporaryFolder.h"
#include "platform/linux/LinuxRunningApps.h"
#include "platform/linux/LinuxUserDirs.h"

namespace vx::platform::linux_ {
namespace {

namespace fs = std::filesystem;
using fixtures::TemporaryFolder;

// Sets environment variables for one test and puts the old values back.
class Environment {
  public:
    void set(const char* name, const char* value) {
        if (!saved_.contains(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LinuxUserDirs, TheDesktopComesFromUserDirsElseHomeDesktop) {
    // The user-dirs.dirs file, if any, and the desktop folder: below the home folder
    // unless it is absolute.
    const std::vector<std::pair<std::optional<std::string>, fs::path>> cases{
        {std::nullopt, "Desktop"},
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n",
         "Schreibtisch"},
        {"XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"\n", "My \"Desk\""},
        {"XDG_DESKTOP_DIR=\"/srv/shared desk\"\n", "/srv/shared desk"},
        {"XDG_DESKTOP_DIR=\"$HOME/Old\"\nXDG_DESKTOP_DIR=\"$HOME/New\"\n", "New"},
        // Forms the convention does not allow, and a switched-off Desktop.
        {"XDG_DESKTOP_DIR=\"Desktop\"\n", "Desktop"},
        {"XDG_DESKTOP_DIR=$HOME/Unquoted\n", "Desktop"},
        {"XDG_DESKTOP_DIR=\"$HOMEWORK\"\n", "Desktop"},
        {"XDG_DESKTOP_DIR=\"$HOME/\"\n", "Desktop"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n", "Desktop"},
    };
    for (const auto& [userDirsFile, desktop] : cases) {
        TemporaryFolder home;
        Environment environment;
        environment.set("HOME", home.path().c_str());
        environment.set("XDG_CONFIG_HOME", nullptr);
        if (userDirsFile) {
            fs::create_directories(home.path() / ".config");
            std::ofstream(home.path() / ".config" / "user-dirs.dirs") << *userDirsFile;
        }
        EXPECT_EQ(LinuxUserDirs().desktopDirectories(), std::vector{home.path() / desktop})
            << userDirsFile.value_or("(no file)");
    }
}

TEST(LinuxUserDirs, HomeAndConfigurationFolderFollowTheEnvironmentWhenItIsUsable) {
    TemporaryFolder folder;
    Environment environment;
    environment.set("HOME", folder.path().c_str());
    environment.set("XDG_CONFIG_HOME", (folder.path() / "cfg").c_str());
    EXPECT_EQ(LinuxUserDirs().home(), folder.path());
    EXPECT_EQ(LinuxUserDirs().configHome(), folder.path() / "cfg");

    // A relative XDG_CONFIG_HOME is to be ignored, says the convention.
    environment.set("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(LinuxUserDirs().configHome(), folder.path() / ".config");

    environment.set("HOME", nullptr);
    environment.set("XDG_CONFIG_HOME", nullptr);
    const fs::path accountHome = LinuxUserDirs().home();
    EXPECT_TRUE(accountHome.is_absolute());
    EXPECT_EQ(LinuxUserDirs().configHome(), accountHome / ".config");
}

// A child running `program` with `arguments`, ended when the test ends.
class ChildProcess {
  public:
    explicit ChildProcess(const fs::path& program, std::optional<uid_t> user = std::nullopt,
                          const char* display = nullptr) {
        pid = fork();
        if (pid == 0) {
            if (user && setuid(*user) != 0) {
                _exit(127);
            }
            if (display != nullptr) {
                setenv("DISPLAY", display, 1);
            }
            execl(program.c_str(), program.c_str(), "600", nullptr);
            _exit(127);
        }
        // Ready once the kernel shows the new program in place of this one.
        const fs::path self = fs::read_symlink("/proc/self/exe");
        std::error_code error;
        while (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == self || error) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                ADD_FAILURE() << program << " could not be started";
                break;
            }
            std::this_thread::yield();
        }
    }
    ~ChildProcess() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid;
};

std::optional<RunningApp> listed(int pid) {
    for (const RunningApp& app : LinuxRunningApps().list()) {
        if (app.pid == pid) {
            return app;
        }
    }
    return std::nullopt;
}

TEST(LinuxRunningApps, EachProcessIsListedByItsProgramFilesCanonicalPathAndItsLaunchTime) {
    const RunningApp self = LinuxRunningApps().current();
    EXPECT_EQ(self.pid, getpid());
    EXPECT_EQ(self.identifier, fs::canonical("/proc/self/exe").string());
    ASSERT_TRUE(self.launchTime);
    EXPECT_LE(*self.launchTime, std::chrono::system_clock::now() + std::chrono::seconds(2));
    const auto inList = listed(getpid());
    ASSERT_TRUE(inList);
    EXPECT_EQ(inList->identifier, self.identifier);
    EXPECT_EQ(inList->launchTime, self.launchTime);

    // Started later, through a symbolic link: the younger, named by the file the link leads to.
    TemporaryFolder folder;
    fs::create_symlink(fs::canonical("/bin/sleep"), folder.path() / "nap");
    ChildProcess child(folder.path() / "nap");
    const auto app = listed(child.pid);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->identifier, fs::canonical("/bin/sleep").string());
    ASSERT_TRUE(app->launchTime);
    EXPECT_GE(*app->launchTime, *self.launchTime);
}

TEST(LinuxRunningApps, AProgramDeletedWhileItRunsKeepsItsIdentifier) {
    TemporaryFolder folder;
    const fs::path copy = folder.path() / "ventilux";
    fs::copy_file("/bin/sleep", copy);
    ChildProcess child(copy);
    fs::remove(copy);
    const auto app = listed(child.pid);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->identifier, copy.string());
}

TEST(LinuxRunningApps, ProcessesOfOtherUsersAreNotListed) {
    if (getuid() != 0) {
        GTEST_SKIP() << "starting a process as another user needs root";
    }
    ChildProcess other(fs::canonical("/bin/sleep"), 65534);
    EXPECT_EQ(listed(other.pid), std::nullopt);
}

TEST(LinuxRunningApps, ProcessesOfAnotherDesktopSessionAreNotListed) {
    const char* mine = std::getenv("DISPLAY");
    const std::string other = std::string(mine != nullptr ? mine : "") + "-elsewhere";
    ChildProcess here(fs::canonical("/bin/sleep"));
    ChildProcess elsewhere(fs::canonical("/bin/sleep"), std::nullopt, other.c_str());
    EXPECT_TRUE(listed(here.pid));
    EXPECT_EQ(listed(elsewhere.pid), std::nullopt);
}

}  // namespace
}  // namespace vx::platform::linux_

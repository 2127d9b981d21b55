#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>

#include "LogLines.h"
#include "TemporaryFolder.h"
#include "platform/linux/store/LinuxDefaultsFile.h"
#include "platform/linux/store/LinuxDefaultsStore.h"

namespace vx::platform::linux_ {
namespace {

namespace fs = std::filesystem;
using fixtures::contents;

void writeBytes(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

class SettingsStore : public ::testing::Test {
  protected:
    // A store as a freshly started copy of the program would have it.
    std::unique_ptr<LinuxDefaultsStore> openStore() {
        auto store = std::make_unique<LinuxDefaultsStore>(file_, log_);
        store->registerDefaults(kDefaults);
        return store;
    }

    std::vector<fs::path> filesBeside(std::string_view marker) const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
            if (entry.path().filename().string().find(marker) != std::string::npos) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    const std::map<std::string, DefaultsValue> kDefaults{
        {"captureInterval", 2.0}, {"playbackFPS", int64_t{30}}, {"showsCursor", true}};

    fixtures::TemporaryFolder root_{"ventilux-settings"};
    const fs::path file_ = root_.path() / "config" / "ventilux" / "settings.ini";
    fixtures::Lines log_;
};

TEST_F(SettingsStore, EveryTypeRoundTripsExactlyThroughTheFile) {
    const std::vector<std::pair<std::string, DefaultsValue>> values{
        {"tenth", 0.1},
        // Megabytes are a large settings file, still to be read and kept whole.
        {"long", std::string(2 << 20, 'x')},
        {"negativeZero", -0.0},
        {"tiny", 4.9406564584124654e-324},
        {"largest", std::numeric_limits<double>::max()},
        {"smallestInt", std::numeric_limits<int64_t>::min()},
        {"largestInt", std::numeric_limits<int64_t>::max()},
        {"no", false},
        {"empty", std::string()},
        {"lines", std::string("one\ntwo\r\nthree\n")},
        {"spaces", std::string("  both ends\t ")},
        {"escapes", std::string("back\\slash \\n not a line feed")},
        {"unicode", std::string("Mikrofon — ünïcødé ⌥⌘ · …")},
        {"bytes", std::string("\0\x01\x7f\xff\xc3", 5)},
        {"looksTyped", std::string("double:2.5")},
    };
    auto writer = openStore();
    for (const auto& [key, value] : values) {
        writer->set(key, value);
    }
    auto reader = openStore();
    for (const auto& [key, value] : values) {
        const auto read = reader->value(key);
        ASSERT_TRUE(read) << key;
        EXPECT_EQ(read->index(), value.index()) << key;
        if (const double* d = std::get_if<double>(&value)) {
            EXPECT_EQ(std::signbit(*d), std::signbit(std::get<double>(*read))) << key;
        }
        EXPECT_EQ(*read, value) << key;
    }
    EXPECT_TRUE(LinuxDefaultsFile::parse(contents(file_)).isText());
    EXPECT_TRUE(log_.lines.empty());
}

TEST_F(SettingsStore, RegisteredDefaultsLieBeneathStoredValuesAndAreNeverWritten) {
    auto store = openStore();
    EXPECT_EQ(store->value("playbackFPS"), DefaultsValue(int64_t{30}));
    EXPECT_EQ(store->value("displayID"), std::nullopt);
    EXPECT_FALSE(fs::exists(file_)) << "reading creates nothing";

    store->set("playbackFPS", int64_t{12});
    EXPECT_EQ(store->value("playbackFPS"), DefaultsValue(int64_t{12}));
    EXPECT_EQ(contents(file_).find("captureInterval"), std::string::npos);
    EXPECT_EQ(fs::status(file_.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
}

// Lines a person or a broken program may leave: each hides only its own key,
// which reads as its default, and stays as it was when another key is written.
TEST_F(SettingsStore, DamagedLinesReadAsDefaultsAndSurviveTheNextWrite) {
    struct Case {
        std::string badLines;
        std::string badKey;
    };
    const std::vector<Case> cases{
        {"captureInterval=double:abc\n", "captureInterval"},
        {"captureInterval=double:nan\n", "captureInterval"},
        {"captureInterval=double:-inf\n", "captureInterval"},
        {"captureInterval=double:1e999\n", "captureInterval"},
        {"captureInterval=double:2.5 seconds\n", "captureInterval"},
        {"captureInterval=two\n", "captureInterval"},
        {"captureInterval=\n", "captureInterval"},
        {"captureInterval=double:3\ncaptureInterval=double:\n", "captureInterval"},
        {"playbackFPS=int:99999999999999999999\n", "playbackFPS"},
        {"playbackFPS=int:29.97\n", "playbackFPS"},
        {"playbackFPS=float:30\n", "playbackFPS"},
        {"showsCursor=bool:maybe\n", "showsCursor"},
        {"showsCursor=string:bad escape \\q\n", "showsCursor"},
        {"showsCursor=string:cut escape \\x4\n", "showsCursor"},
        // A file cut short in the middle of its last line.
        {"playbackFPS=i", "playbackFPS"},
    };
    for (const auto& [badLines, badKey] : cases) {
        const std::string original = "[settings]\n# hand-edited\nrealtimeFPS = int:24\n" + badLines;
        writeBytes(file_, original);
        auto store = openStore();
        EXPECT_EQ(store->value(badKey), kDefaults.at(badKey)) << badLines;
        EXPECT_EQ(store->value("realtimeFPS"), DefaultsValue(int64_t{24})) << badLines;

        store->set("hotkeyEnabled", true);
        const std::string rewritten = contents(file_);
        EXPECT_TRUE(rewritten.starts_with(original)) << rewritten;
        EXPECT_EQ(openStore()->value(badKey), kDefaults.at(badKey)) << badLines;
        EXPECT_EQ(store->value("hotkeyEnabled"), DefaultsValue(true)) << badLines;

        // Writing the damaged key itself replaces its line.
        store->set(badKey, kDefaults.at(badKey));
        EXPECT_EQ(openStore()->value(badKey), kDefaults.at(badKey)) << badLines;
        EXPECT_EQ(store->value("realtimeFPS"), DefaultsValue(int64_t{24})) << badLines;
    }
    EXPECT_TRUE(filesBeside(".damaged-").empty());
    EXPECT_TRUE(log_.lines.empty());
}

TEST_F(SettingsStore, HandWrittenValuesWithoutATypeAndWindowsLineEndsAreRead) {
    writeBytes(file_, "captureInterval = 5\r\nplaybackFPS=24\r\nshowsCursor=false\r\nscale=0.5");
    auto store = openStore();
    EXPECT_EQ(store->value("captureInterval"), DefaultsValue(int64_t{5}));
    EXPECT_EQ(store->value("playbackFPS"), DefaultsValue(int64_t{24}));
    EXPECT_EQ(store->value("showsCursor"), DefaultsValue(false));
    EXPECT_EQ(store->value("scale"), DefaultsValue(0.5));
}

// A file that is not text at all is kept aside under a new name, once, and the
// settings that could still be read are carried into the fresh file.
TEST_F(SettingsStore, AFileThatIsNotTextIsKeptAsideAndItsReadableSettingsCarriedOver) {
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<DefaultsValue> playbackFPS;  // carried over, or none
    };
    std::mt19937 random(7);
    std::string junk(3000, '\0');
    for (char& c : junk) {
        c = static_cast<char>(random());
    }
    const std::vector<Case> cases{
        {"zero-filled after a crash", std::string(4096, '\0'), std::nullopt},
        {"binary junk", junk, std::nullopt},
        {"not UTF-8", "playbackFPS=int:12\noutputPath=string:/home/j\xe9r\xf4me\n", int64_t{12}},
    };
    for (const auto& [name, bytes, playbackFPS] : cases) {
        fs::remove_all(file_.parent_path());
        log_.lines.clear();
        writeBytes(file_, bytes);
        auto store = openStore();
        EXPECT_EQ(store->value("captureInterval"), DefaultsValue(2.0)) << name;
        EXPECT_EQ(store->value("playbackFPS"), playbackFPS.value_or(int64_t{30})) << name;

        store->set("showsCursor", false);
        store->set("captureInterval", 4.0);
        const auto aside = filesBeside(".damaged-");
        ASSERT_EQ(aside.size(), 1u) << name;
        EXPECT_EQ(contents(aside.front()), bytes) << name;
        EXPECT_EQ(log_.lines.size(), 1u) << name;
        EXPECT_NE(log_.lines.front().find(aside.front().string()), std::string::npos)
            << log_.lines.front();

        auto reopened = openStore();
        EXPECT_EQ(reopened->value("showsCursor"), DefaultsValue(false)) << name;
        EXPECT_EQ(reopened->value("captureInterval"), DefaultsValue(4.0)) << name;
        EXPECT_EQ(reopened->value("playbackFPS"), playbackFPS.value_or(int64_t{30})) << name;
        EXPECT_TRUE(LinuxDefaultsFile::parse(contents(file_)).isText()) << name;
    }
}

// What stands at `path`, as far as a test of replacing it cares.
std::string shapeOf(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    switch (status.type()) {
        case fs::file_type::symlink:
            return "a link to " + fs::read_symlink(path).string();
        case fs::file_type::regular:
            return "a file of " + std::to_string(fs::file_size(path)) + " bytes";
        case fs::file_type::directory:
            return "a folder";
        case fs::file_type::fifo:
            return "a pipe";
        default:
            return "nothing";
    }
}

// Said once when the store is made, read as defaults, and never replaced: a
// save would lose what the user may still want from it.
TEST_F(SettingsStore, AFileThatCannotBeReadIsSaidOnceAtStartAndLeftAsItIs) {
    const fs::path folder = file_.parent_path();
    const std::vector<std::pair<const char*, std::function<void()>>> cases{
        {"a folder in its place", [&] { fs::create_directories(file_); }},
        {"a pipe in its place",
         [&] {
             fs::create_directories(folder);
             ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0);
         }},
        {"a file in its folder's place", [&] { writeBytes(folder, ""); }},
        {"a link to nothing",
         [&] {
             fs::create_directories(folder);
             fs::create_symlink("moved/settings.ini", file_);
         }},
        {"a link to itself",
         [&] {
             fs::create_directories(folder);
             fs::create_symlink("settings.ini", file_);
         }},
        {"more than 16 MiB",
         [&] { writeBytes(file_, "playbackFPS=int:12\n#" + std::string(17 << 20, '-')); }},
    };
    for (const auto& [name, makeUnreadable] : cases) {
        fs::remove_all(folder);
        log_.lines.clear();
        makeUnreadable();
        const std::string before = shapeOf(file_) + " in " + shapeOf(folder);

        auto store = openStore();
        ASSERT_EQ(log_.lines.size(), 1u) << name;
        EXPECT_TRUE(log_.lines[0].starts_with("Ventilux: the settings file " + file_.string() +
                                              " cannot be read ("))
            << log_.lines[0];
        EXPECT_EQ(store->value("playbackFPS"), DefaultsValue(int64_t{30})) << name;
        store->set("playbackFPS", int64_t{10});
        EXPECT_EQ(store->value("playbackFPS"), DefaultsValue(int64_t{10})) << name;
        EXPECT_EQ(log_.lines.size(), 1u) << name;
        EXPECT_EQ(shapeOf(file_) + " in " + shapeOf(folder), before) << name;
    }
}

// Dot files kept in a repository and linked from the configuration folder.
TEST_F(SettingsStore, ALinkedFileStaysALinkAndItsTargetIsReplaced) {
    const fs::path dotfiles = root_.path() / "dotfiles";
    writeBytes(dotfiles / "ventilux.ini", "# mine\nrealtimeFPS=int:24\n");
    fs::create_symlink("ventilux.ini", dotfiles / "current.ini");
    fs::create_directories(file_.parent_path());
    fs::create_symlink("../../dotfiles/current.ini", file_);

    auto store = openStore();
    EXPECT_EQ(store->value("realtimeFPS"), DefaultsValue(int64_t{24}));
    store->set("playbackFPS", int64_t{12});
    EXPECT_EQ(shapeOf(file_), "a link to ../../dotfiles/current.ini");
    EXPECT_EQ(shapeOf(dotfiles / "current.ini"), "a link to ventilux.ini");
    EXPECT_EQ(contents(dotfiles / "ventilux.ini"),
              "# mine\nrealtimeFPS=int:24\nplaybackFPS=int:12\n");
    EXPECT_EQ(openStore()->value("playbackFPS"), DefaultsValue(int64_t{12}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dotfiles), fs::directory_iterator()), 2)
        << "no temporary or lock file beside the target";
    EXPECT_TRUE(fs::exists(file_.string() + ".lock"));
    EXPECT_TRUE(log_.lines.empty());
}

TEST_F(SettingsStore, AValueThatCannotBeSavedHoldsForThisProcessAndIsSavedLater) {
    // A folder where the lock file should be: the settings read, but no write can begin.
    const fs::path blocked = file_.string() + ".lock";
    fs::create_directories(blocked);

    auto store = openStore();
    store->set("playbackFPS", int64_t{10});
    store->set("showsCursor", false);
    EXPECT_EQ(store->value("playbackFPS"), DefaultsValue(int64_t{10}));
    EXPECT_EQ(store->value("showsCursor"), DefaultsValue(false));
    ASSERT_EQ(log_.lines.size(), 1u) << "one line for the whole failure";
    EXPECT_TRUE(log_.lines.front().starts_with("Ventilux: settings could not be saved to "));

    fs::remove(blocked);
    store->set("captureInterval", 3.0);
    auto reopened = openStore();
    EXPECT_EQ(reopened->value("playbackFPS"), DefaultsValue(int64_t{10}));
    EXPECT_EQ(reopened->value("showsCursor"), DefaultsValue(false));
    EXPECT_EQ(reopened->value("captureInterval"), DefaultsValue(3.0));
}

// Runs `body` in a child process that ends with status 0 when it returns.
pid_t runInChild(const std::function<void()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    return child;
}

const std::string kTextPrefix = "line one\nzwei — ⌥⌘ ";

// A writer killed at any moment leaves the old file or the new one, never a
// part of one; the lock it held goes with it, so the next writer is not stuck.
TEST_F(SettingsStore, AWriterKilledMidWriteLeavesTheOldFileOrTheNew) {
    openStore()->set("counter", int64_t{0});
    int64_t lastSeen = 0;
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t writer = runInChild([&] {
            close(progress[0]);
            LinuxDefaultsStore store(file_, log_);
            for (int64_t i = lastSeen + 1;; ++i) {
                store.set("counter", i);
                store.set("text", kTextPrefix + std::to_string(i));
                (void)!write(progress[1], "+", 1);
            }
        });
        close(progress[1]);
        // Let it finish a few writes, then kill it wherever it is.
        char mark;
        for (unsigned writes = 1 + random() % 4; writes > 0; --writes) {
            ASSERT_EQ(read(progress[0], &mark, 1), 1);
        }
        kill(writer, SIGKILL);
        int status = 0;
        waitpid(writer, &status, 0);
        close(progress[0]);

        const auto parsed = LinuxDefaultsFile::parse(contents(file_));
        ASSERT_TRUE(parsed.isText()) << "round " << round;
        const auto counter = parsed.value("counter");
        const auto text = parsed.value("text");
        ASSERT_TRUE(counter && text) << contents(file_);
        const int64_t value = std::get<int64_t>(*counter);
        EXPECT_GE(value, lastSeen) << "a value went back";
        EXPECT_TRUE(std::get<std::string>(*text).starts_with(kTextPrefix));
        lastSeen = value;
    }
    openStore()->set("done", true);
    EXPECT_TRUE(filesBeside(".tmp-").empty()) << "files of killed writers are cleared away";
    EXPECT_TRUE(filesBeside(".damaged-").empty());
}

TEST_F(SettingsStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWritesEach = 200;
    // A copy that has read the file before must see the others' later writes.
    auto reader = openStore();
    ASSERT_EQ(reader->value("first.0"), std::nullopt);
    int startGate[2];
    ASSERT_EQ(pipe(startGate), 0);
    std::vector<pid_t> writers;
    for (const std::string name : {"first", "second"}) {
        writers.push_back(runInChild([&, name] {
            close(startGate[1]);
            char ignored;
            (void)!read(startGate[0], &ignored, 1);  // returns when the gate closes
            LinuxDefaultsStore store(file_, log_);
            for (int64_t i = 0; i < kWritesEach; ++i) {
                store.set(name + "." + std::to_string(i), i);
                // Reading what the other copy wrote must not disturb anything.
                (void)store.value(name == "first" ? "second.0" : "first.0");
            }
        }));
    }
    close(startGate[0]);
    close(startGate[1]);
    for (pid_t writer : writers) {
        int status = 0;
        waitpid(writer, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int missing = 0;
    for (const std::string name : {"first", "second"}) {
        for (int64_t i = 0; i < kWritesEach; ++i) {
            missing += reader->value(name + "." + std::to_string(i)) != DefaultsValue(i);
        }
    }
    EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace vx::platform::linux_

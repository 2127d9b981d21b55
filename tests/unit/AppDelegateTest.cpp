#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "integration/TemporaryFolder.h"
#include "platform/sim/SimPlatform.h"
#include "system/LoginItem.h"

namespace vx {
namespace {

using platform::RunningApp;
using platform::sim::SimPlatform;
using Clock = std::chrono::system_clock;

const std::string kTwinLine = "Ventilux: another instance is already running; exiting this one.";
const std::string kProgram = "/usr/bin/ventilux";
const RunningApp kSelf{kProgram, 100, std::nullopt};
const RunningApp kOlderTwin{kProgram, 7, std::nullopt};

// One copy of the program on a simulated desktop, `self` among `running`,
// recording time-lapses into a fresh folder without a countdown.
class Copy {
  public:
    explicit Copy(RunningApp self = kSelf, std::vector<RunningApp> running = {kSelf}) {
        sim.runningApps().self = std::move(self);
        sim.runningApps().running = std::move(running);
        delegate.settings->setOutputDirectory(folder.path());
        delegate.settings->setCountdownSeconds(0);
        sim.screenCapture().content.displays = {{1, 64, 48}};
    }

    // Launches with these arguments after the program path and runs what the
    // launch posted; true when the copy gave way to a twin.
    bool launch(const std::vector<std::string>& arguments = {}) {
        sim.app().args = {kProgram};
        sim.app().args.insert(sim.app().args.end(), arguments.begin(), arguments.end());
        sim.app().run([this] { delegate.applicationDidFinishLaunching(); });
        sim.dispatch().runUntilIdle();
        return !sim.log().lines.empty();
    }
    void startRecording() {
        delegate.status->triggerRecording();
        sim.dispatch().runUntilIdle();
        ASSERT_TRUE(delegate.status->activeRecorder()->isRecording());
    }
    // The finish of the movie waits until the test lets it go.
    void holdTheMovieFinish() { sim.dispatch().holdBackgroundTasks(true); }
    void finishTheMovie() {
        while (sim.dispatch().heldBackgroundTaskCount() > 0) {
            sim.dispatch().runHeldBackgroundTask(0);
        }
        sim.dispatch().runUntilIdle();
    }
    bool ended() { return sim.dispatch().exitStatus().has_value(); }

    SimPlatform sim;
    fixtures::TemporaryFolder folder;
    AppDelegate delegate;
};

TEST(AppDelegate, SelfTestsAreNeverRefusedBesideATwin) {
    for (const char* run : {"--selftest", "--selftest-rt"}) {
        Copy copy(kSelf, {kOlderTwin, kSelf});
        EXPECT_FALSE(copy.launch({run})) << run;
    }
}

// Beside the user's copy in the tray too.
TEST(AppDelegate, LoginSwitchesPrintOneLineAndExitWithTheirStatus) {
    const struct {
        const char* name;
        const char* argument;
        bool entryBefore, writeFails;
        std::string line;
        int status;
        bool entryAfter;
    } cases[] = {
        {"enable", "--enable-login", false, false, "LOGIN: enabled=true status=true\n", 0, true},
        {"enable fails", "--enable-login", false, true, "LOGIN: enabled=false status=false\n", 1,
         false},
        {"enable fails over an old entry", "--enable-login", true, true,
         "LOGIN: enabled=false status=true\n", 1, true},
        {"disable", "--disable-login", true, false, "LOGIN: disabled=true\n", 0, false},
        {"disable without entry", "--disable-login", false, false, "LOGIN: disabled=true\n", 0,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Copy copy(kSelf, {kOlderTwin, kSelf});
        if (c.entryBefore) {
            ASSERT_TRUE(LoginItem::enable());
        }
        if (c.writeFails) {
            copy.sim.atomicFiles().failure = platform::Error{"sim", 5, "Disk full."};
        }
        copy.launch({c.argument});
        EXPECT_THAT(copy.sim.stdErr().writes, ::testing::ElementsAre(c.line));
        EXPECT_EQ(copy.sim.dispatch().exitStatus(), c.status);
        EXPECT_EQ(LoginItem::isEnabled(), c.entryAfter);
    }
}

// Beside the user's copy in the tray too, and without creating one.
TEST(AppDelegate, HelpAndVersionAnswerOnStandardOutputAloneAndExitZero) {
    for (const auto& [run, answer] : {std::pair{"--version", "Ventilux 2.5.1\n"},
                                      std::pair{"--help", "Usage: ventilux [OPTION]\n"}}) {
        Copy copy(kSelf, {kOlderTwin, kSelf});
        copy.sim.app().appVersion = "2.5.1";
        EXPECT_FALSE(copy.launch({run})) << run;
        ASSERT_EQ(copy.sim.stdOut().writes.size(), 1u) << run;
        EXPECT_TRUE(copy.sim.stdOut().writes[0].starts_with(answer)) << run;
        EXPECT_TRUE(copy.sim.stdErr().writes.empty()) << run;
        EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0) << run;
        EXPECT_EQ(copy.delegate.status, nullptr) << run;
    }
}

// Beside the user's copy, and never becoming one itself.
TEST(AppDelegate, ARequestForTheRunningCopyEndsWithItsAnswer) {
    using platform::RemoteRequest;
    const platform::Error none{platform::kAppErrorDomain, 0,
                               "Ventilux is not running in this session."};
    const struct {
        const char* run;
        RemoteRequest sent;
        std::expected<void, platform::Error> answer;
        int status;
        std::vector<std::string> written;
    } cases[] = {
        {"--toggle", RemoteRequest::toggle, {}, 0, {}},
        {"--start", RemoteRequest::start, {}, 0, {}},
        {"--stop", RemoteRequest::stop, {}, 0, {}},
        {"--toggle",
         RemoteRequest::toggle,
         std::unexpected(none),
         1,
         {"Ventilux is not running in this session.\n"}},
    };
    for (const auto& c : cases) {
        Copy copy(kSelf, {kOlderTwin, kSelf});
        copy.sim.remoteControl().answer = c.answer;
        EXPECT_FALSE(copy.launch({c.run})) << c.run;
        EXPECT_EQ(copy.sim.remoteControl().sent, std::vector{c.sent}) << c.run;
        EXPECT_EQ(copy.sim.dispatch().exitStatus(), c.status) << c.run;
        EXPECT_EQ(copy.sim.stdErr().writes, c.written) << c.run;
        EXPECT_FALSE(copy.sim.statusBar().hasItem()) << c.run;
    }
}

// A twin is a copy with the same identifier, missing ones included, and
// another pid; an interactive copy gives way to it with the log line and
// status 0, and otherwise keeps running.
TEST(AppDelegate, AnInteractiveCopyGivesWayToATwinAndOnlyToATwin) {
    const struct {
        std::optional<std::string> self;
        RunningApp other;
        bool givesWay;
    } cases[] = {
        {kProgram, {kProgram, 7, std::nullopt}, true},
        {std::nullopt, {std::nullopt, 7, std::nullopt}, true},
        {std::nullopt, {kProgram, 7, std::nullopt}, false},
        {kProgram, {std::nullopt, 7, std::nullopt}, false},
        {kProgram, {"/opt/ventilux/ventilux", 7, std::nullopt}, false},
        {kProgram, {"/usr/bin/VENTILUX", 7, std::nullopt}, false},
        // This very process, listed under its own pid.
        {kProgram, {kProgram, 100, std::nullopt}, false},
    };
    for (const auto& [self, other, givesWay] : cases) {
        SCOPED_TRACE(self.value_or("(none)") + " beside " + other.identifier.value_or("(none)"));
        const RunningApp me{self, 100, std::nullopt};
        Copy copy(me, {other, me});
        EXPECT_EQ(copy.launch(), givesWay);
        copy.sim.dispatch().advance(60);
        EXPECT_EQ(copy.sim.log().lines,
                  givesWay ? std::vector{kTwinLine} : std::vector<std::string>{});
        EXPECT_EQ(copy.sim.dispatch().exitStatus(), givesWay ? std::optional(0) : std::nullopt);
        EXPECT_TRUE(copy.sim.stdErr().writes.empty());
    }
}

// Two copies that start together each see the other. Judged from both sides,
// exactly one of them must give way, or the user ends up with none or two.
TEST(AppDelegate, OfTwoCopiesStartedTogetherExactlyOneGivesWay) {
    const Clock::time_point t0{std::chrono::seconds(1'700'000'000)};
    const struct {
        RunningApp first, second;
        int survivorPid;
    } cases[] = {
        {{kProgram, 300, t0}, {kProgram, 200, t0 + std::chrono::milliseconds(10)}, 300},
        {{kProgram, 300, t0}, {kProgram, 200, t0}, 200},
    };
    for (const auto& [first, second, survivorPid] : cases) {
        std::vector<int> survivors;
        for (const auto& [self, other] : {std::pair{first, second}, std::pair{second, first}}) {
            Copy copy(self, {first, second});
            if (!copy.launch()) {
                survivors.push_back(self.pid);
            }
        }
        EXPECT_EQ(survivors, std::vector<int>{survivorPid});
    }
}

// The two ways a quit reaches the delegate: the menu, and the desktop (a
// signal or the end of the session).
const std::vector<std::pair<const char*, std::function<void(Copy&)>>> kQuitRequests{
    {"menu", [](Copy& copy) { ASSERT_TRUE(copy.sim.statusBar().choose({"Quit Ventilux"})); }},
    {"desktop", [](Copy& copy) { copy.sim.app().quitRequestHandler(); }},
};

TEST(AppDelegateQuit, QuittingWhileIdleOrCountingDownEndsAtOnce) {
    for (const auto& [source, requestQuit] : kQuitRequests) {
        for (bool countingDown : {false, true}) {
            Copy copy;
            copy.launch();
            if (countingDown) {
                copy.delegate.settings->setCountdownSeconds(3);
                copy.delegate.status->triggerRecording();
            }
            requestQuit(copy);
            EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0) << source << countingDown;
            EXPECT_EQ(copy.sim.dispatch().elapsedSeconds(), 0) << source << countingDown;
        }
    }
}

TEST(AppDelegateQuit, QuittingWhileRecordingEndsOnceTheMovieIsSaved) {
    for (const auto& [source, requestQuit] : kQuitRequests) {
        Copy copy;
        copy.launch();
        copy.startRecording();
        copy.sim.dispatch().advance(4);
        copy.holdTheMovieFinish();
        requestQuit(copy);
        copy.sim.dispatch().advance(5);
        EXPECT_FALSE(copy.ended()) << source << ": still saving";
        EXPECT_FALSE(copy.delegate.status->activeRecorder()->isRecording());

        copy.finishTheMovie();
        EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0) << source;
        EXPECT_EQ(copy.sim.dispatch().elapsedSeconds(), 9) << source;
        ASSERT_EQ(copy.sim.movieWriters().movies.size(), 1u) << source;
        EXPECT_TRUE(std::filesystem::exists(copy.sim.movieWriters().movies[0]->file)) << source;
    }
}

// A recorder that never finishes cannot hold the process past twenty seconds;
// pressing Ctrl-C again, or a second logout signal, must not cut the save short.
TEST(AppDelegateQuit, ASaveThatNeverEndsHoldsTheProcessTwentySecondsWhateverIsAskedMeanwhile) {
    Copy copy;
    copy.launch();
    copy.startRecording();
    copy.holdTheMovieFinish();
    copy.sim.dispatch().advance(1);
    copy.sim.app().quitRequestHandler();
    copy.sim.dispatch().advance(10);
    copy.sim.app().quitRequestHandler();
    ASSERT_TRUE(copy.sim.statusBar().choose({"Quit Ventilux"}));
    copy.sim.dispatch().advance(9.999);
    EXPECT_FALSE(copy.ended()) << "the first request's 20 seconds still hold";
    copy.sim.dispatch().advance(0.002);
    EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0);
    EXPECT_DOUBLE_EQ(copy.sim.dispatch().elapsedSeconds(), 21);
}

// A self-test run has no controller; it ends itself, and a quit ends it at once.
TEST(AppDelegateQuit, WithoutTheTrayAQuitEndsAtOnce) {
    Copy copy;
    copy.delegate.applicationShouldTerminate();
    EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0);
    EXPECT_FALSE(copy.sim.statusBar().hasItem());
}

}  // namespace
}  // namespace vx

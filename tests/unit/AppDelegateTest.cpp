#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "platform/sim/SimPlatform.h"

namespace vx {
namespace {

using platform::RunningApp;
using platform::sim::SimPlatform;
using Clock = std::chrono::system_clock;

const std::string kTwinLine = "Ventilux: another instance is already running; exiting this one.";
const std::string kProgram = "/usr/bin/ventilux";

// One copy of the program on a simulated desktop, `self` among `running`.
class Copy {
  public:
    Copy(RunningApp self, std::vector<RunningApp> running) {
        sim.runningApps().self = std::move(self);
        sim.runningApps().running = std::move(running);
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

    SimPlatform sim;
    AppDelegate delegate;
};

const RunningApp kSelf{kProgram, 100, std::nullopt};
const RunningApp kOlderTwin{kProgram, 7, std::nullopt};

TEST(AppDelegate, AnInteractiveCopyGivesWayToATwinWithTheLogLineAndStatusZero) {
    Copy copy(kSelf, {kOlderTwin, kSelf});
    EXPECT_TRUE(copy.launch());
    EXPECT_EQ(copy.sim.log().lines, std::vector<std::string>{kTwinLine});
    EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0);
    EXPECT_TRUE(copy.sim.stdErr().writes.empty());
}

TEST(AppDelegate, WithoutATwinTheInteractiveCopyKeepsRunning) {
    Copy copy(kSelf, {{"/usr/bin/other", 7, std::nullopt}, {std::nullopt, 8, std::nullopt}, kSelf});
    EXPECT_FALSE(copy.launch());
    copy.sim.dispatch().advance(60);
    EXPECT_EQ(copy.sim.dispatch().exitStatus(), std::nullopt);
}

TEST(AppDelegate, CommandLineRunsAreNeverRefusedBesideATwin) {
    for (const char* run : {"--selftest", "--selftest-rt", "--enable-login", "--disable-login"}) {
        Copy copy(kSelf, {kOlderTwin, kSelf});
        EXPECT_FALSE(copy.launch({run})) << run;
    }
    Copy nearMiss(kSelf, {kOlderTwin, kSelf});
    EXPECT_TRUE(nearMiss.launch({"--SELFTEST"})) << "a near miss is an interactive start";
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

TEST(AppDelegate, ATwinHasTheSameIdentifierMissingOnesIncludedAndAnotherPid) {
    struct Case {
        std::optional<std::string> self;
        RunningApp other;
        bool givesWay;
    };
    const std::vector<Case> cases{
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
        const RunningApp me{self, 100, std::nullopt};
        Copy copy(me, {me, other});
        EXPECT_EQ(copy.launch(), givesWay)
            << self.value_or("(none)") << " beside " << other.identifier.value_or("(none)");
    }
}

// Two copies that start together each see the other. Judged from both sides,
// exactly one of them must give way, or the user ends up with none or two.
TEST(AppDelegate, OfTwoCopiesStartedTogetherExactlyOneGivesWay) {
    const Clock::time_point t0{std::chrono::seconds(1'700'000'000)};
    struct Case {
        RunningApp first;
        RunningApp second;
        int survivorPid;
    };
    const std::vector<Case> cases{
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

}  // namespace
}  // namespace vx

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "integration/TemporaryFolder.h"
#include "platform/sim/SimPlatform.h"

namespace vx {
namespace {

using platform::sim::SimPlatform;

// An interactive copy on a simulated desktop, recording time-lapses into a
// fresh folder.
class InteractiveCopy {
  public:
    InteractiveCopy() {
        delegate.settings->setOutputDirectory(folder.path());
        delegate.settings->setCountdownSeconds(0);
        sim.screenCapture().content.displays = {{1, 64, 48}};
        sim.app().run([this] { delegate.applicationDidFinishLaunching(); });
        sim.dispatch().runUntilIdle();
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

// The two ways a quit reaches the delegate: the menu, and the desktop (a
// signal or the end of the session).
const std::vector<std::pair<const char*, std::function<void(InteractiveCopy&)>>> kQuitRequests{
    {"menu",
     [](InteractiveCopy& copy) { ASSERT_TRUE(copy.sim.statusBar().choose({"Quit Ventilux"})); }},
    {"desktop", [](InteractiveCopy& copy) { copy.sim.app().quitRequestHandler(); }},
};

TEST(AppDelegateQuit, QuittingWhileIdleOrCountingDownEndsAtOnce) {
    for (const auto& [source, requestQuit] : kQuitRequests) {
        for (bool countingDown : {false, true}) {
            InteractiveCopy copy;
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
        InteractiveCopy copy;
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

TEST(AppDelegateQuit, ARecorderThatNeverFinishesCannotHoldTheProcessPastTwentySeconds) {
    InteractiveCopy copy;
    copy.startRecording();
    copy.holdTheMovieFinish();
    copy.sim.dispatch().advance(1);
    copy.delegate.applicationShouldTerminate();
    copy.sim.dispatch().advance(19.999);
    EXPECT_FALSE(copy.ended());
    copy.sim.dispatch().advance(0.002);
    EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0);
    EXPECT_DOUBLE_EQ(copy.sim.dispatch().elapsedSeconds(), 21);
}

// Pressing Ctrl-C again, or a second logout signal, must not cut the save short.
TEST(AppDelegateQuit, ASecondRequestWhileSavingNeitherEndsNorStopsAgain) {
    InteractiveCopy copy;
    copy.startRecording();
    copy.holdTheMovieFinish();
    copy.sim.app().quitRequestHandler();
    copy.sim.dispatch().advance(10);
    copy.sim.app().quitRequestHandler();
    ASSERT_TRUE(copy.sim.statusBar().choose({"Quit Ventilux"}));
    copy.sim.dispatch().advance(9.9);
    EXPECT_FALSE(copy.ended()) << "the first request's 20 seconds still hold";
    copy.sim.dispatch().advance(0.2);
    EXPECT_EQ(copy.sim.dispatch().exitStatus(), 0);
}

// A self-test run has no controller; it ends itself, and a quit ends it at once.
TEST(AppDelegateQuit, WithoutTheTrayAQuitEndsAtOnce) {
    SimPlatform sim;
    AppDelegate delegate;
    delegate.applicationShouldTerminate();
    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    EXPECT_FALSE(sim.statusBar().hasItem());
}

}  // namespace
}  // namespace vx

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <numeric>
#include <sstream>

#include "SimDesktop.h"
#include "settings/Settings.h"
#include "timelapse/TimelapseRecorder.h"

namespace vx {
namespace {

using platform::MediaTime;
using ::testing::ElementsAre;

// The time-lapse recorder on two simulated displays, the first of them the main one.
class TimelapseHarness : public testing::RecorderHarness<TimelapseRecorder> {
  public:
    TimelapseHarness() {
        sim.screenCapture().content.displays = {{1, 64, 48}, {2, 40, 30}};
        sim.screenCapture().mainID = 1;
    }

    platform::sim::SimMovie& movie(size_t index = 0) {
        EXPECT_GT(sim.movieWriters().movies.size(), index);
        return *sim.movieWriters().movies.at(index);
    }
    std::vector<int64_t> frameNumbers(size_t index = 0) {
        std::vector<int64_t> numbers;
        for (const MediaTime& time : movie(index).frameTimes) {
            EXPECT_EQ(time.timescale, movie(index).track->timescale);
            numbers.push_back(time.value);
        }
        return numbers;
    }
    std::string saved(int frames, size_t index = 0) {
        return "message Saved " + std::to_string(frames) + "-frame time-lapse | " +
               movie(index).file.string();
    }
};

using TimelapseRecorderTest = testing::HarnessTest<TimelapseHarness>;

TEST_F(TimelapseRecorderTest, AMinuteAtTheDefaultsBecomesThirtyOneFramesOneThirtiethApart) {
    startRecording();
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(recorder->sessionLabel(), "Capturing every 2 s…");
    sim.dispatch().advance(60);
    recorder->stop(events.completion("stop"));
    EXPECT_FALSE(recorder->isRecording()) << "idle as soon as stop returns";
    sim.dispatch().runUntilIdle();

    std::vector<int64_t> expected(31);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(frameNumbers(), expected);
    EXPECT_THAT(events.seen,
                ElementsAre("state true", "state false", saved(31), "completion stop"));
    EXPECT_TRUE(events.offMainThread.empty());
    EXPECT_TRUE(std::filesystem::exists(movie().file));
    EXPECT_EQ(movie().file.parent_path(), folder) << "the missing folder was created";
    EXPECT_TRUE(movie().markedFinished);
    EXPECT_EQ(recorder->sessionLabel(), std::nullopt);

    const auto& track = *movie().track;
    EXPECT_EQ(std::make_pair(track.width, track.height), std::make_pair(int64_t(64), int64_t(48)));
    EXPECT_EQ(track.averageBitRate, 2'000'000) << "small captures get the floor";
    EXPECT_EQ(track.maxKeyFrameInterval, 30);
    EXPECT_EQ(track.timescale, 30);
}

TEST_F(TimelapseRecorderTest, TheSessionKeepsTheSettingsItStartedWith) {
    settings->setCaptureInterval(0.25);
    settings->setPlaybackFPS(24);
    settings->setResolutionScale(0.5);
    settings->setShowsCursor(false);
    settings->setDisplayID(2);
    startRecording();
    settings->setCaptureInterval(10);
    settings->setPlaybackFPS(60);
    settings->setResolutionScale(1);
    settings->setShowsCursor(true);
    settings->setDisplayID(1);
    sim.dispatch().advance(1.0);
    EXPECT_EQ(recorder->sessionLabel(), "Capturing every 250 ms…");
    recorder->stop(nullptr);
    sim.dispatch().runUntilIdle();

    EXPECT_EQ(movie().frameTimes.size(), 5u);
    EXPECT_EQ(movie().frameTimes.back().timescale, 24);
    for (const auto& request : sim.screenCapture().requests) {
        EXPECT_EQ(request.displayID, 2u);
        EXPECT_EQ(std::make_pair(request.width, request.height),
                  std::make_pair(int64_t(20), int64_t(14)))
            << "40x30 at 0.5 is 20x15, made even";
        EXPECT_FALSE(request.showsCursor);
        EXPECT_TRUE(request.scalesToFit);
    }
}

TEST_F(TimelapseRecorderTest, CapturesAreNumberedInTheOrderTheyComplete) {
    sim.screenCapture().holdScreenshots = true;
    startRecording();
    sim.dispatch().advance(4.0);  // ticks at 0, 2 and 4 s, none answered yet
    ASSERT_EQ(sim.screenCapture().heldScreenshotCount(), 3u);
    sim.screenCapture().completeHeldScreenshot(2);
    sim.screenCapture().completeHeldScreenshot(0);
    sim.screenCapture().completeHeldScreenshot(0);
    sim.dispatch().runUntilIdle();
    recorder->stop(nullptr);
    sim.dispatch().runUntilIdle();

    EXPECT_EQ(movie().frameMarkers, (std::vector<uint8_t>{3, 1, 2}));
    EXPECT_EQ(frameNumbers(), (std::vector<int64_t>{0, 1, 2}));
}

TEST_F(TimelapseRecorderTest, BusyOrRefusingWriterDropsFramesWithoutLeavingAGap) {
    startRecording();  // frame 0
    movie().readyForMore = false;
    sim.dispatch().advance(2);  // dropped: writer busy
    movie().readyForMore = true;
    movie().acceptsFrames = false;
    sim.dispatch().advance(2);  // dropped: refused
    movie().acceptsFrames = true;
    sim.screenCapture().captureError = platform::Error{"X11", 1, "The display is gone."};
    sim.dispatch().advance(2);  // a failed capture adds nothing and says nothing
    sim.screenCapture().captureError.reset();
    sim.dispatch().advance(2);  // frame 1
    recorder->stop(nullptr);
    sim.dispatch().runUntilIdle();

    EXPECT_EQ(frameNumbers(), (std::vector<int64_t>{0, 1}));
    EXPECT_EQ(movie().frameMarkers, (std::vector<uint8_t>{1, 5}));
    EXPECT_THAT(events.seen, ElementsAre("state true", "state false", saved(2)));
}

TEST_F(TimelapseRecorderTest, ACaptureStillInFlightAtTheStopIsDropped) {
    startRecording();  // frame 0 is in
    sim.screenCapture().holdScreenshots = true;
    sim.dispatch().advance(2);
    recorder->stop(events.completion("stop"));
    sim.screenCapture().completeHeldScreenshot(0);
    sim.dispatch().runUntilIdle();
    sim.dispatch().advance(10);

    EXPECT_EQ(frameNumbers(), (std::vector<int64_t>{0}));
    EXPECT_THAT(events.seen, ElementsAre("state true", "state false", saved(1), "completion stop"));
    EXPECT_EQ(sim.screenCapture().requests.size(), 2u) << "no tick after the stop";
}

TEST_F(TimelapseRecorderTest, StopBeforeTheFirstFrameDeletesTheEmptyMovie) {
    sim.screenCapture().holdScreenshots = true;
    startRecording();
    recorder->stop(events.completion("stop"));
    sim.dispatch().runUntilIdle();

    EXPECT_TRUE(movie().cancelled);
    EXPECT_FALSE(std::filesystem::exists(movie().file));
    EXPECT_THAT(events.seen,
                ElementsAre("state true", "message Stopped — no frames captured. | no-file",
                            "state false", "completion stop"));
}

TEST(TimelapseEnd, ASessionThatCanNoLongerWriteOrCaptureEndsWithinAnIntervalKeepingItsFrames) {
    const platform::Error diskFull{"POSIX", 28, "No space left on device."};
    const struct {
        const char* name;
        std::function<void(TimelapseHarness&)> breakIt;  // after three frames
        const char* message;                             // "" for the saved movie
        const char* cause;
    } cases[] = {
        {"disk full", [&](auto& t) { t.movie().writeError = diskFull; }, "", " (disk full)"},
        {"other write failure",
         [](auto& t) {
             t.movie().writeError = platform::Error{"POSIX", 5, "I/O error."};
         },
         "", " (write failed: I/O error.)"},
        {"display gone",
         [](auto& t) {
             t.sim.screenCapture().content.displays = {{2, 40, 30}};
             t.sim.screenCapture().captureError = platform::Error{"X11", 1, "The display is gone."};
         },
         "", " (display gone)"},
        {"none of the frames reached the disk",
         [&](auto& t) {
             t.movie().writeError = diskFull;
             t.movie().framesLostInFailure = 3;
         },
         "message Write failed: No space left on device. | no-file", ""},
        {"the finish fails",
         [&](auto& t) {
             t.movie().finishError = diskFull;
             t.recorder->stop(nullptr);
         },
         "", " (disk full)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TimelapseHarness t;
        t.startRecording();
        t.sim.dispatch().advance(4.5);
        c.breakIt(t);
        t.sim.dispatch().advance(2);
        EXPECT_FALSE(t.recorder->isRecording()) << "within one capture interval";
        const std::string saved = "message Saved 3-frame time-lapse" + std::string(c.cause) +
                                  " | " + t.movie().file.string();
        const std::string expected = *c.message ? c.message : saved;
        EXPECT_THAT(t.events.seen, ElementsAre("state true", "state false", expected));
        EXPECT_EQ(std::filesystem::exists(t.movie().file), !*c.message);
    }
}

TEST_F(TimelapseRecorderTest, StopWhileIdleOnlyCompletesAfterReturning) {
    recorder->stop(events.completion("idle"));
    recorder->stop(nullptr);
    EXPECT_TRUE(events.seen.empty()) << "never from inside stop()";
    sim.dispatch().runUntilIdle();
    EXPECT_THAT(events.seen, ElementsAre("completion idle"));
}

// While the movie is being finished, a second stop completes at once and a
// start waits until the movie is saved.
TEST_F(TimelapseRecorderTest, DuringTheFinishASecondStopCompletesAtOnceAndAStartWaits) {
    startRecording();
    sim.dispatch().advance(2);
    sim.dispatch().holdBackgroundTasks(true);  // the writer's finish waits
    recorder->stop(events.completion("first"));
    sim.dispatch().runUntilIdle();
    recorder->stop(events.completion("second"));
    recorder->start();
    sim.dispatch().runUntilIdle();
    EXPECT_THAT(events.seen, ElementsAre("state true", "completion second"));
    EXPECT_EQ(sim.movieWriters().movies.size(), 1u) << "no second writer while finishing";

    ASSERT_EQ(sim.dispatch().heldBackgroundTaskCount(), 1u);
    sim.dispatch().runHeldBackgroundTask(0);  // the first movie is written
    sim.dispatch().holdBackgroundTasks(false);
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(recorder->isRecording());
    ASSERT_EQ(sim.movieWriters().movies.size(), 2u);
    EXPECT_THAT(events.seen, ElementsAre("state true", "completion second", "state false",
                                         saved(2, 0), "completion first", "state true"));
    // Both sessions began within the same second: the first movie is kept.
    EXPECT_NE(movie(0).file, movie(1).file);
    EXPECT_TRUE(std::filesystem::exists(movie(0).file));
    EXPECT_EQ(frameNumbers(0), (std::vector<int64_t>{0, 1}));
}

TEST_F(TimelapseRecorderTest, StopDuringTheStartDoesNotCancelIt) {
    sim.dispatch().holdBackgroundTasks(true);
    recorder->start();
    recorder->stop(events.completion("early"));
    recorder->start();  // ignored: a start is already under way
    sim.dispatch().runUntilIdle();
    ASSERT_EQ(sim.dispatch().heldBackgroundTaskCount(), 1u);
    sim.dispatch().runHeldBackgroundTask(0);
    sim.dispatch().holdBackgroundTasks(false);
    sim.dispatch().runUntilIdle();
    EXPECT_THAT(events.seen, ElementsAre("completion early", "state true"));
    EXPECT_EQ(sim.movieWriters().movies.size(), 1u);
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(TimelapseRecorderTest, MovieNamesCarryTheLocalStartTimeAndNeverCollide) {
    std::tm local{};
    std::istringstream("2026-12-31 23:59:58") >> std::get_time(&local, "%Y-%m-%d %H:%M:%S");
    local.tm_isdst = -1;
    sim.dispatch().setWallClock(std::chrono::system_clock::from_time_t(std::mktime(&local)));
    for (int session = 0; session < 3; ++session) {
        if (session == 2) {
            // Another copy of the program takes the name this session chose.
            sim.movieWriters().beforeCreate = [](const auto& file) { std::ofstream(file) << "x"; };
        }
        startRecording();
        recorder->stop(nullptr);
        sim.dispatch().runUntilIdle();
    }
    EXPECT_EQ(movie(0).file.filename(), "Ventilux-2026-12-31_23-59-58.mp4");
    EXPECT_EQ(movie(1).file.filename(), "Ventilux-2026-12-31_23-59-58-2.mp4");
    EXPECT_EQ(movie(2).file.filename(), "Ventilux-2026-12-31_23-59-58-4.mp4");
    for (const auto& seen : events.seen) {
        EXPECT_EQ(seen.find("Could not start"), std::string::npos) << seen;
    }
}

TEST(TimelapseStart, AFailedStartSaysWhyOnceAndLeavesTheRecorderReady) {
    const struct {
        const char* name;
        std::function<void(TimelapseHarness&)> arrange;
        std::string message;
    } cases[] = {
        {"no permission", [](auto& t) { t.sim.screenCapture().accessAllowed = false; },
         "Allow Ventilux to share your screen in the desktop's screen-sharing dialog, then start "
         "recording again."},
        {"no display", [](auto& t) { t.sim.screenCapture().content.displays.clear(); },
         "Could not start: No displays available to capture."},
        {"display list fails",
         [](auto& t) {
             t.sim.screenCapture().contentError =
                 platform::Error{"X11", 1, "Cannot open the X display :9."};
         },
         "Could not start: Cannot open the X display :9."},
        {"folder cannot be made",
         [](auto& t) {
             std::ofstream(t.folder.string() + "-file") << "x";
             t.settings->setOutputDirectory(t.folder.string() + "-file/inside");
         },
         "Could not start: Cannot create the folder "},
        {"name over the length limit",
         [](auto& t) {
             // The folder itself fits; a movie's name in it passes PATH_MAX.
             std::filesystem::path deep = t.folder;
             while (deep.string().size() < 4080) {
                 deep /= std::string(std::min<size_t>(250, 4080 - deep.string().size()), 'd');
             }
             t.settings->setOutputDirectory(deep);
         },
         "Could not start: Cannot use the folder "},
        {"picture too large", [](auto& t) { t.settings->setResolutionScale(200); },
         "Could not start: The picture would be 12800 \u00d7 9600 pixels, more than"},
        {"file cannot be made",
         [](auto& t) {
             t.sim.movieWriters().createError = platform::Error{"POSIX", 13, "Permission denied."};
         },
         "Could not start: Permission denied."},
        {"track refused", [](auto& t) { t.sim.movieWriters().behaviour.acceptsTrack = false; },
         "Could not start: Writer rejected video input"},
        {"writing does not begin",
         [](auto& t) { t.sim.movieWriters().behaviour.startSucceeds = false; },
         "Could not start: startWriting failed"},
        {"writing does not begin, with a reason",
         [](auto& t) {
             t.sim.movieWriters().behaviour.startSucceeds = false;
             t.sim.movieWriters().behaviour.startError =
                 platform::Error{"FFmpeg", 5, "The encoder cannot be opened."};
         },
         "Could not start: The encoder cannot be opened."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TimelapseHarness t;
        c.arrange(t);
        t.startRecording();
        ASSERT_EQ(t.events.seen.size(), 1u);
        EXPECT_EQ(t.events.seen[0].rfind("message " + c.message, 0), 0u) << t.events.seen[0];
        EXPECT_TRUE(t.events.seen[0].ends_with(" | no-file"));
        EXPECT_FALSE(t.recorder->isRecording());
        EXPECT_EQ(t.recorder->sessionLabel(), std::nullopt);
    }
}

TEST_F(TimelapseRecorderTest, WithoutPermissionTheSettingsAreShownAndALaterStartChecksAgain) {
    sim.screenCapture().accessAllowed = false;
    startRecording();
    EXPECT_EQ(sim.screenCapture().accessRequests, 1);
    EXPECT_EQ(sim.workspace().openedPanes,
              std::vector<platform::PrivacyPane>{platform::PrivacyPane::screenRecording});
    sim.screenCapture().accessAllowed = true;
    startRecording();
    ASSERT_EQ(events.seen.size(), 2u) << "the refusal, told once, and the later start";
    EXPECT_EQ(events.seen.back(), "state true");
}

TEST(TimelapseSessionLabel, NamesTheIntervalInMillisecondsOrSeconds) {
    const std::pair<double, const char*> cases[] = {
        {0.9999, "Capturing every 999 ms…"},
        {1.5, "Capturing every 1.5 s…"},
        {1e300, "Capturing every 1e+300 s…"},
    };
    for (auto [interval, label] : cases) {
        TimelapseHarness t;
        t.settings->captureIntervalOverride = interval;
        EXPECT_EQ(t.recorder->sessionLabel(), std::nullopt);
        t.startRecording();
        EXPECT_EQ(t.recorder->sessionLabel(), label);
        t.recorder->stop(nullptr);
        t.sim.dispatch().runUntilIdle();
    }
}

TEST_F(TimelapseRecorderTest, ACycleWithoutCallbacksRunsQuietly) {
    recorder->onStateChange = nullptr;
    recorder->onMessage = nullptr;
    startRecording();
    sim.dispatch().advance(5);
    recorder->stop(events.completion("stop"));
    sim.dispatch().runUntilIdle();
    EXPECT_THAT(events.seen, ElementsAre("completion stop"));
}

}  // namespace
}  // namespace vx

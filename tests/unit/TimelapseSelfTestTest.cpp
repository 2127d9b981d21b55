#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/SimPlatform.h"

#include "app/TimelapseSelfTest.h"
#include "capture/Recorder.h"
#include "settings/Settings.h"

namespace vx {
namespace {

using platform::sim::SimPlatform;
using ::testing::ElementsAre;

class TimelapseSelfTestTest : public ::testing::Test {
  protected:
    TimelapseSelfTestTest() {
        folder = std::filesystem::temp_directory_path() /
                 ("ventilux-selftest-" + std::to_string(::getpid()));
        settings->setOutputDirectory(folder);
        sim.screenCapture().content.displays = {{1, 32, 32}};
    }
    ~TimelapseSelfTestTest() override { std::filesystem::remove_all(folder); }

    SimPlatform sim;
    std::filesystem::path folder;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    std::shared_ptr<Recorder> testRecorder;
};

TEST_F(TimelapseSelfTestTest, RecordsThreeSecondsAtFourFramesASecondAndExitsAfterTheResult) {
    settings->setCaptureInterval(60);  // the run ignores the user's interval
    runTimelapseSelfTest(settings, testRecorder);
    EXPECT_THAT(sim.stdErr().writes, ElementsAre("SELFTEST: starting capture\n"));
    sim.dispatch().advance(3.29);
    EXPECT_EQ(sim.dispatch().exitStatus(), std::nullopt);
    sim.dispatch().advance(0.02);

    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    ASSERT_EQ(sim.stdErr().writes.size(), 2u);
    const auto& movie = *sim.movieWriters().movies.at(0);
    EXPECT_EQ(sim.stdErr().writes[1],
              "SELFTEST RESULT: Saved 12-frame time-lapse | " + movie.file.string() + "\n");
    EXPECT_EQ(movie.frameTimes.size(), 12u);
    EXPECT_EQ(settings->captureInterval(), 0.25);
    EXPECT_EQ(std::get<double>(sim.defaults().stored.at("captureInterval")), 60)
        << "nothing stored changes";
}

TEST_F(TimelapseSelfTestTest, AStartFailureIsTheResultAtOnce) {
    sim.screenCapture().content.displays.clear();
    runTimelapseSelfTest(settings, testRecorder);
    sim.dispatch().advance(1);
    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    EXPECT_THAT(sim.stdErr().writes,
                ElementsAre("SELFTEST: starting capture\n",
                            "SELFTEST RESULT: Could not start: No displays available to capture. | "
                            "no-file\n"));
}

TEST_F(TimelapseSelfTestTest, ARecorderThatNeverReportsEndsTheRunWithStatusTwo) {
    runTimelapseSelfTest(settings, testRecorder);
    sim.dispatch().runUntilIdle();
    sim.dispatch().holdBackgroundTasks(true);  // captures and the finish never complete
    sim.dispatch().advance(11.9);
    EXPECT_EQ(sim.dispatch().exitStatus(), std::nullopt);
    sim.dispatch().advance(0.2);
    EXPECT_EQ(sim.dispatch().exitStatus(), 2);
    EXPECT_THAT(sim.stdErr().writes, ElementsAre("SELFTEST: starting capture\n"));
}

}  // namespace
}  // namespace vx

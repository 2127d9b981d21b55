#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SimDesktop.h"
#include "app/RealtimeSelfTest.h"
#include "app/TimelapseSelfTest.h"

namespace vx {
namespace {

using ::testing::ElementsAre;

// The command-line self-tests on a simulated desktop, with the user's own
// choices, which a run must leave as it found them, in the settings.
struct SelfTestDesktop : testing::SimDesktop {
    SelfTestDesktop() {
        settings->setCaptureInterval(60);
        settings->setCapturesSystemAudio(false);
        settings->setMicrophoneDeviceID(std::nullopt);
        settings->setResolutionScale(2);
    }
    void runRealtime(std::vector<std::string> arguments = {"ventilux", "--selftest-rt"}) {
        runRealtimeSelfTest(settings, testRecorder, std::move(arguments));
        sim.dispatch().runUntilIdle();
    }
    void expectUserSettingsBack() {
        EXPECT_EQ(std::get<double>(sim.defaults().stored.at("captureInterval")), 60);
        EXPECT_FALSE(settings->capturesSystemAudio());
        EXPECT_EQ(settings->microphoneDeviceID(), std::nullopt);
        EXPECT_EQ(settings->resolutionScale(), 2);
    }

    std::shared_ptr<Recorder> testRecorder;
};

using SelfTestTest = testing::HarnessTest<SelfTestDesktop>;

TEST_F(SelfTestTest, TimelapseRecordsThreeSecondsAtFourFramesASecondAndExitsAfterTheResult) {
    runTimelapseSelfTest(settings, testRecorder);
    EXPECT_THAT(sim.stdErr().writes, ElementsAre("SELFTEST: starting capture\n"));
    sim.dispatch().advance(3.29);
    EXPECT_EQ(sim.dispatch().exitStatus(), std::nullopt);
    sim.dispatch().advance(0.02);

    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    const auto& movie = *sim.movieWriters().movies.at(0);
    EXPECT_THAT(sim.stdErr().writes, ElementsAre("SELFTEST: starting capture\n",
                                                 "SELFTEST RESULT: Saved 12-frame time-lapse | " +
                                                     movie.file.string() + "\n"));
    EXPECT_EQ(movie.frameTimes.size(), 12u);
    expectUserSettingsBack();
}

TEST_F(SelfTestTest, TimelapseStartFailureIsTheResultAtOnce) {
    sim.screenCapture().content.displays.clear();
    runTimelapseSelfTest(settings, testRecorder);
    sim.dispatch().advance(1);
    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    EXPECT_THAT(sim.stdErr().writes,
                ElementsAre("SELFTEST: starting capture\n",
                            "SELFTEST RESULT: Could not start: No displays available to capture. | "
                            "no-file\n"));
}

TEST(SelfTest, ARecorderThatNeverReportsEndsTheRunWithStatusTwo) {
    const struct {
        const char* run;
        std::function<void(SelfTestDesktop&)> start;
        double patience;
    } runs[] = {
        {"time-lapse", [](SelfTestDesktop& t) { runTimelapseSelfTest(t.settings, t.testRecorder); },
         12},
        {"real time", [](SelfTestDesktop& t) { t.runRealtime(); }, 30},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.run);
        SelfTestDesktop t;
        t.sim.dispatch().holdBackgroundTasks(true);  // the start and captures never complete
        r.start(t);
        t.sim.dispatch().advance(r.patience - 0.1);
        EXPECT_EQ(t.sim.dispatch().exitStatus(), std::nullopt);
        t.sim.dispatch().advance(0.2);
        EXPECT_EQ(t.sim.dispatch().exitStatus(), 2);
        EXPECT_EQ(t.sim.stdErr().writes.size(), 1u);
        t.expectUserSettingsBack();
    }
}

TEST_F(SelfTestTest, RealtimeRecordsSixSecondsWithTheMacBookMicrophoneAndPutsTheSettingsBack) {
    sim.audioDevices().present = {{"usb", "USB Mic"}, {"built-in", "MacBook Pro Microphone"}};
    runRealtime();
    EXPECT_TRUE(settings->capturesSystemAudio());
    EXPECT_EQ(settings->resolutionScale(), 0.25);
    auto& recording = *sim.recordingStreams().recordings.at(0);
    EXPECT_EQ(recording.stream.microphoneCaptureDeviceID, "built-in");
    EXPECT_EQ(recording.stream.width, 480) << "1920 at the run's scale of 0.25";
    recording.duration = {6, 1};

    sim.dispatch().advance(6.29);
    EXPECT_EQ(sim.dispatch().exitStatus(), std::nullopt);
    sim.dispatch().advance(0.02);
    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    EXPECT_THAT(sim.stdErr().writes,
                ElementsAre("SELFTEST-RT: system audio on, mic MacBook Pro Microphone\n",
                            "SELFTEST-RT RESULT: Saved 0:06 recording | " +
                                recording.recording.outputURL.string() + "\n"));
    expectUserSettingsBack();
}

TEST(SelfTest, RealtimeTakesTheFirstMicrophoneAndMicOnlyTurnsSystemAudioOff) {
    const struct {
        std::vector<platform::AudioInput> microphones;
        std::vector<std::string> arguments;
        std::string line;
        std::optional<std::string> used;
    } cases[] = {
        {{{"usb", "USB Mic"}, {"line", "Line In"}},
         {"ventilux", "--selftest-rt", "--mic-only"},
         "SELFTEST-RT: system audio off, mic USB Mic\n",
         "usb"},
        {{}, {"ventilux", "--selftest-rt"}, "SELFTEST-RT: system audio on, mic none\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        SelfTestDesktop t;
        t.sim.audioDevices().present = c.microphones;
        t.runRealtime(c.arguments);
        EXPECT_EQ(t.sim.stdErr().writes.at(0), c.line);
        EXPECT_EQ(t.sim.recordingStreams().recordings.at(0)->stream.capturesAudio,
                  c.arguments.size() == 2);
        EXPECT_EQ(t.settings->microphoneDeviceID(), c.used);
    }
}

// The sound server's list comes in after the start: the choice waits for it.
TEST_F(SelfTestTest, RealtimeChoosesTheMicrophoneOnceTheSystemHasListedThem) {
    sim.audioDevices().listingHeld = true;
    runRealtime();
    EXPECT_TRUE(sim.stdErr().writes.empty());
    sim.audioDevices().present = {{"usb", "USB Mic"}};
    sim.audioDevices().releaseListing();
    EXPECT_EQ(sim.stdErr().writes.at(0), "SELFTEST-RT: system audio on, mic USB Mic\n");
}

TEST_F(SelfTestTest, RealtimeMessageAtTheStartEndsTheRun) {
    sim.audioDevices().present = {{"usb", "USB Mic"}};
    sim.audioDevices().authorization = platform::MicrophoneAuthorization::notDetermined;
    runRealtime();
    sim.dispatch().advance(1);
    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    EXPECT_EQ(
        sim.stdErr().writes.at(1),
        "SELFTEST-RT RESULT: Recording without the microphone — access not granted. | no-file\n");
    expectUserSettingsBack();
}

}  // namespace
}  // namespace vx

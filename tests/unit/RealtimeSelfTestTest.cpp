#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/SimPlatform.h"

#include "app/RealtimeSelfTest.h"
#include "capture/Recorder.h"
#include "settings/Settings.h"

namespace vx {
namespace {

using platform::sim::SimPlatform;
using ::testing::ElementsAre;

class RealtimeSelfTestTest : public ::testing::Test {
  protected:
    RealtimeSelfTestTest() {
        folder = std::filesystem::temp_directory_path() /
                 ("ventilux-selftest-rt-" + std::to_string(::getpid()));
        settings->setOutputDirectory(folder);
        // The user's own choices, which the run must leave as it found them.
        settings->setCapturesSystemAudio(false);
        settings->setMicrophoneDeviceID(std::nullopt);
        settings->setResolutionScale(2);
    }
    ~RealtimeSelfTestTest() override { std::filesystem::remove_all(folder); }

    void expectUserSettingsBack() {
        EXPECT_FALSE(settings->capturesSystemAudio());
        EXPECT_EQ(settings->microphoneDeviceID(), std::nullopt);
        EXPECT_EQ(settings->resolutionScale(), 2);
    }

    SimPlatform sim;
    std::filesystem::path folder;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    std::shared_ptr<Recorder> testRecorder;
};

TEST_F(RealtimeSelfTestTest, RecordsSixSecondsWithTheMacBookMicrophoneAndPutsTheSettingsBack) {
    sim.audioDevices().present = {{"usb", "USB Mic"}, {"built-in", "MacBook Pro Microphone"}};
    runRealtimeSelfTest(settings, testRecorder, {"ventilux", "--selftest-rt"});
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(settings->capturesSystemAudio());
    EXPECT_EQ(settings->microphoneDeviceID(), "built-in");
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

TEST_F(RealtimeSelfTestTest, MicOnlyTurnsSystemAudioOffAndTakesTheFirstMicrophone) {
    sim.audioDevices().present = {{"usb", "USB Mic"}, {"line", "Line In"}};
    runRealtimeSelfTest(settings, testRecorder, {"ventilux", "--selftest-rt", "--mic-only"});
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(sim.stdErr().writes.at(0), "SELFTEST-RT: system audio off, mic USB Mic\n");
    EXPECT_FALSE(sim.recordingStreams().recordings.at(0)->stream.capturesAudio);
    EXPECT_EQ(settings->microphoneDeviceID(), "usb");
}

// The sound server's list comes in after the start: the choice waits for it.
TEST_F(RealtimeSelfTestTest, TheMicrophoneIsChosenOnceTheSystemHasListedThem) {
    sim.audioDevices().listingHeld = true;
    runRealtimeSelfTest(settings, testRecorder, {"ventilux", "--selftest-rt"});
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(sim.stdErr().writes.empty());
    sim.audioDevices().present = {{"usb", "USB Mic"}};
    sim.audioDevices().releaseListing();
    EXPECT_EQ(sim.stdErr().writes.at(0), "SELFTEST-RT: system audio on, mic USB Mic\n");
}

TEST_F(RealtimeSelfTestTest, WithoutMicrophonesTheLineSaysNone) {
    runRealtimeSelfTest(settings, testRecorder, {"ventilux", "--selftest-rt"});
    EXPECT_EQ(settings->microphoneDeviceID(), std::nullopt);
    EXPECT_EQ(sim.stdErr().writes.at(0), "SELFTEST-RT: system audio on, mic none\n");
}

TEST_F(RealtimeSelfTestTest, AMessageAtTheStartEndsTheRun) {
    sim.audioDevices().present = {{"usb", "USB Mic"}};
    sim.audioDevices().authorization = platform::MicrophoneAuthorization::notDetermined;
    runRealtimeSelfTest(settings, testRecorder, {"ventilux", "--selftest-rt"});
    sim.dispatch().advance(1);
    EXPECT_EQ(sim.dispatch().exitStatus(), 0);
    EXPECT_EQ(
        sim.stdErr().writes.at(1),
        "SELFTEST-RT RESULT: Recording without the microphone — access not granted. | no-file\n");
    expectUserSettingsBack();
}

TEST_F(RealtimeSelfTestTest, ARunWithoutAnyMessageGivesUpWithStatusTwoAndPutsTheSettingsBack) {
    sim.dispatch().holdBackgroundTasks(true);  // the start never gets going
    runRealtimeSelfTest(settings, testRecorder, {"ventilux", "--selftest-rt"});
    sim.dispatch().advance(29.9);
    EXPECT_EQ(sim.dispatch().exitStatus(), std::nullopt);
    sim.dispatch().advance(0.2);
    EXPECT_EQ(sim.dispatch().exitStatus(), 2);
    EXPECT_EQ(sim.stdErr().writes.size(), 1u);
    expectUserSettingsBack();
}

}  // namespace
}  // namespace vx

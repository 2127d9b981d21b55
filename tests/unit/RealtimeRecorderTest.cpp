#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "SimDesktop.h"
#include "realtime/RealtimeRecorder.h"
#include "settings/Settings.h"

namespace vx {
namespace {

using platform::MicrophoneAuthorization;
using platform::sim::SimRecording;
using ::testing::ElementsAre;

// The real-time recorder on a simulated full-HD display.
class RealtimeHarness : public testing::RecorderHarness<RealtimeRecorder> {
  public:
    SimRecording& recording(size_t index = 0) {
        EXPECT_GT(sim.recordingStreams().recordings.size(), index);
        return *sim.recordingStreams().recordings.at(index);
    }
    std::string saved(const std::string& clock, size_t index = 0) {
        return "message Saved " + clock + " recording | " +
               recording(index).recording.outputURL.string();
    }
};

using RealtimeRecorderTest = testing::HarnessTest<RealtimeHarness>;

TEST(RealtimeAudio, TheMicrophoneIsUsedOnlyWhenGrantedAndTheLabelNamesTheSources) {
    const char* kWithoutMic =
        "message Recording without the microphone — access not granted. | no-file";
    const char* kNoAudio =
        "message No audio: the microphone is not granted and System Audio is off. | no-file";
    using enum MicrophoneAuthorization;
    const struct {
        bool systemAudio;
        std::optional<std::string> mic;
        MicrophoneAuthorization access;
        const char* warning;  // before the start, or none
        bool micCaptured;
        std::string summary;
    } cases[] = {
        {true, std::nullopt, denied, nullptr, false, " · system audio"},
        {true, "mic-1", authorized, nullptr, true, " · system audio + mic"},
        {true, "mic-1", notDetermined, kWithoutMic, false,
         " · system audio + NO MIC — not allowed yet"},
        {false, std::nullopt, authorized, nullptr, false, " · no audio"},
        {false, "mic-1", authorized, nullptr, true, " · mic"},
        {false, "mic-1", restricted, kNoAudio, false, " · NO MIC — not allowed yet"},
    };
    for (const auto& c : cases) {
        RealtimeHarness t;
        SCOPED_TRACE(c.summary);
        t.settings->setCapturesSystemAudio(c.systemAudio);
        t.settings->setMicrophoneDeviceID(c.mic);
        t.sim.audioDevices().authorization = c.access;
        t.startRecording();
        EXPECT_EQ(t.events.seen, (c.warning ? std::vector<std::string>{c.warning, "state true"}
                                            : std::vector<std::string>{"state true"}));
        EXPECT_EQ(t.sim.audioDevices().accessRequests, 0) << "the start never asks";
        EXPECT_EQ(t.recorder->sessionLabel(), "0:00 · 0 MB" + c.summary);
        const auto& stream = t.recording().stream;
        EXPECT_EQ(stream.capturesAudio, c.systemAudio);
        EXPECT_EQ(stream.captureMicrophone, c.micCaptured);
        EXPECT_EQ(stream.microphoneCaptureDeviceID,
                  c.micCaptured ? c.mic : std::optional<std::string>());
    }
}

TEST_F(RealtimeRecorderTest, ANormalStopSavesTheMovieWithItsLength) {
    settings->setRealtimeFPS(30);
    settings->setResolutionScale(0.5);
    startRecording();
    auto& stream = recording().stream;
    EXPECT_EQ(std::make_pair(stream.width, stream.height),
              std::make_pair(int64_t(960), int64_t(540)));
    EXPECT_EQ(stream.minimumFrameInterval.value, 1);
    EXPECT_EQ(stream.minimumFrameInterval.timescale, 30);
    EXPECT_EQ(recording().recording.outputURL.extension(), ".mov");
    EXPECT_EQ(recording().recording.fileType, platform::MovieFileType::quickTimeMovie);
    EXPECT_EQ(recording().recording.videoCodec, std::nullopt) << "no HEVC offered here";

    recording().duration = {125 * 600 + 200, 600};
    recording().fileSize = 37 * 1048576 + 1000;
    EXPECT_EQ(recorder->sessionLabel(), "2:05 · 37 MB · system audio");
    recorder->stop(events.completion("stop"));
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->sessionLabel(), std::nullopt);
    sim.dispatch().runUntilIdle();
    EXPECT_THAT(events.seen,
                ElementsAre("state true", "state false", saved("2:05"), "completion stop"));
    EXPECT_TRUE(events.offMainThread.empty());
    sim.dispatch().advance(20);
    EXPECT_EQ(events.seen.size(), 4u) << "the watchdog finds the session finished";
}

TEST(RealtimeWatchdog, FinishesAStopThePlatformNeverReportsWithTheFileOrSaysNoneWasWritten) {
    for (const bool createsFile : {true, false}) {
        RealtimeHarness t;
        t.sim.recordingStreams().behaviour.finishesOnStop = false;
        t.sim.recordingStreams().behaviour.createsFile = createsFile;
        t.startRecording();
        t.recording().duration = {3, 1};
        t.recorder->stop(t.events.completion("stop"));
        t.sim.dispatch().advance(14.9);
        EXPECT_THAT(t.events.seen, ElementsAre("state true"));
        t.sim.dispatch().advance(0.2);
        t.recording().reportFinished();  // too late: changes nothing
        t.sim.dispatch().runUntilIdle();
        EXPECT_THAT(t.events.seen,
                    ElementsAre("state true", "state false",
                                createsFile ? t.saved("0:03")
                                            : "message Stopped — nothing was written. | no-file",
                                "completion stop"));
    }
}

TEST_F(RealtimeRecorderTest, AFailureWhileRecordingEndsTheSessionWithoutACompletion) {
    startRecording();
    recording().reportStopWithError({"X11", 1, "The display was disconnected."});
    sim.dispatch().runUntilIdle();
    recording().reportFailure({"FFmpeg", 2, "No space left on device."});
    recorder->stop(events.completion("after"));
    sim.dispatch().advance(20);
    EXPECT_THAT(events.seen,
                ElementsAre("state true", "state false",
                            "message Recording failed: The display was disconnected. | no-file",
                            "completion after"));
    EXPECT_TRUE(std::filesystem::exists(recording().recording.outputURL))
        << "the partial file stays";
}

TEST_F(RealtimeRecorderTest, AFailedCaptureStartIgnoresTheStreamsLateError) {
    settings->setMicrophoneDeviceID("mic-1");
    sim.audioDevices().authorization = MicrophoneAuthorization::denied;
    sim.recordingStreams().behaviour.startError = platform::Error{"X11", 3, "The display is gone."};
    startRecording();
    recording().reportStopWithError({"X11", 3, "The display is gone."});
    sim.dispatch().advance(20);
    EXPECT_THAT(
        events.seen,
        ElementsAre("message Recording without the microphone — access not granted. | no-file",
                    "message Could not start: The display is gone. | no-file"));
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->sessionLabel(), std::nullopt);
    startRecording();
    EXPECT_EQ(sim.recordingStreams().recordings.size(), 2u) << "ready to start again";
}

// Until the stream reports the stop (here never: the watchdog ends it), a
// second stop completes at once and a start waits; a late report of the old
// stream never ends the new session.
TEST_F(RealtimeRecorderTest, DuringTheStopASecondStopCompletesAtOnceAndAStartWaits) {
    sim.recordingStreams().behaviour.finishesOnStop = false;
    startRecording();
    recorder->stop(events.completion("first"));
    recorder->stop(events.completion("second"));
    recorder->start();
    sim.dispatch().runUntilIdle();
    EXPECT_THAT(events.seen, ElementsAre("state true", "completion second"));
    EXPECT_EQ(sim.recordingStreams().recordings.size(), 1u);
    sim.dispatch().advance(15);
    ASSERT_EQ(sim.recordingStreams().recordings.size(), 2u);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_NE(recording(0).recording.outputURL, recording(1).recording.outputURL);

    recording(0).reportFinished();
    recording(0).reportFailure({"FFmpeg", 1, "late"});
    sim.dispatch().runUntilIdle();
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_THAT(events.seen, ElementsAre("state true", "completion second", "state false",
                                         saved("0:00", 0), "completion first", "state true"));
}

TEST(RealtimeStart, FailuresSayWhyOnceAndLeaveTheRecorderIdle) {
    const struct {
        const char* name;
        std::function<void(RealtimeHarness&)> arrange;
        std::string message;
    } cases[] = {
        {"no permission", [](auto& t) { t.sim.screenCapture().accessAllowed = false; },
         "Allow Ventilux to share your screen in the desktop's screen-sharing dialog, then start "
         "recording again."},
        {"no display", [](auto& t) { t.sim.screenCapture().content.displays.clear(); },
         "Could not start: No displays available to capture."},
        {"stream refused",
         [](auto& t) {
             t.sim.recordingStreams().makeError =
                 platform::Error{"PulseAudio", 1, "No such microphone."};
         },
         "Could not start: No such microphone."},
        {"picture too small", [](auto& t) { t.settings->setResolutionScale(0.01); },
         "Could not start: The picture would be 18 \u00d7 10 pixels, too small to record; choose a "
         "larger resolution."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RealtimeHarness t;
        c.arrange(t);
        t.startRecording();
        EXPECT_EQ(t.events.seen, std::vector<std::string>{"message " + c.message + " | no-file"});
        EXPECT_FALSE(t.recorder->isRecording());
        EXPECT_EQ(t.recorder->sessionLabel(), std::nullopt);
    }
}

TEST_F(RealtimeRecorderTest, AnotherSessionTakingTheNameMovesTheRecordingToTheNextFreeName) {
    sim.recordingStreams().behaviour.answersStartAtOnce = false;
    recorder->start();
    sim.dispatch().runUntilIdle();
    const auto taken = recording(0).recording.outputURL;
    std::ofstream(taken) << "another copy's movie";
    sim.recordingStreams().behaviour.answersStartAtOnce = true;
    recording(0).completeStart();
    sim.dispatch().runUntilIdle();
    EXPECT_EQ(events.seen, std::vector<std::string>{"state true"});
    EXPECT_EQ(recording(1).recording.outputURL.stem(), taken.stem().string() + "-2");
    EXPECT_TRUE(recorder->isRecording());
}

TEST(RealtimeStart, TheContainerAndCodecFollowWhatTheStreamOffers) {
    RealtimeHarness t;
    t.sim.recordingStreams().videoCodecs = {platform::VideoCodec::h264, platform::VideoCodec::hevc};
    t.sim.recordingStreams().fileTypes = {platform::MovieFileType::mpeg4};
    t.settings->setRealtimeFPS(1);
    t.startRecording();
    EXPECT_EQ(t.recording().recording.videoCodec, platform::VideoCodec::hevc);
    EXPECT_EQ(t.recording().recording.fileType, std::nullopt);
    EXPECT_EQ(t.recording().recording.outputURL.extension(), ".mp4");
    EXPECT_EQ(t.recording().stream.minimumFrameInterval.timescale, 1);
}

}  // namespace
}  // namespace vx

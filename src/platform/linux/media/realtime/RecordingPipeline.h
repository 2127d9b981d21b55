#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/RecordingStream.h"
#include "platform/Types.h"
#include "platform/linux/media/realtime/AudioEncoder.h"
#include "platform/linux/media/realtime/AudioMixer.h"
#include "platform/linux/media/realtime/FrameQueue.h"
#include "platform/linux/media/realtime/RealtimeEncoder.h"
#include "platform/linux/media/realtime/RealtimeMuxer.h"
#include "platform/linux/media/realtime/VideoCapture.h"
#include "platform/linux/pulse/PulseCapture.h"
#include "platform/linux/pulse/PulseConnection.h"

namespace vx::platform::linux_ {

struct PipelineSettings {
    VideoCaptureSettings video;
    VideoCaptureOpener openVideo;
    // One frame period, in seconds: at most one picture per period is taken.
    int framePeriodNum = 1;
    int framePeriodDen = 60;
    size_t queueDepth = 8;
    bool systemAudio = false;
    std::optional<std::string> microphone;  // a sound server source name
    int sampleRate = 48000;
    int channels = 2;
    std::string soundServer;  // empty: the user's default server
    MovieFileType fileType = MovieFileType::quickTimeMovie;
    std::filesystem::path file;
};

// A running recording: the screen is captured, the sound sources mixed, both
// encoded and written into one movie, every stage on its own thread:
//
//   VideoCapture → FrameQueue → H.264 RealtimeEncoder ─┐
//   PulseCapture(s) → AudioMixer → AudioEncoder ─┴→ RealtimeMuxer → file
//                                                    (synced a fragment at a time)
//
// Every time stamp comes from one steady clock started as capture starts:
// pictures are timed by the frame period they were taken in, sound by where
// the mixer laid it, so picture and sound stay together however long it runs.
// The end — a stop, or the first failure — is reported once through the events,
// from the pipeline's own supervising thread.
class RecordingPipeline {
  public:
    using Clock = std::chrono::steady_clock;

    // Running when this returns; on failure nothing is left behind, not even
    // the file. First finalises the movies in the file's folder that a crash
    // left unfinished.
    static std::expected<std::unique_ptr<RecordingPipeline>, Error> start(
        const PipelineSettings& settings, RecordingEvents events);
    // Stops if still running; never waits for a report it is itself making.
    ~RecordingPipeline();
    RecordingPipeline(const RecordingPipeline&) = delete;
    RecordingPipeline& operator=(const RecordingPipeline&) = delete;

    // Stops capture, finishes the file and makes the report, then returns.
    // Later calls return at once; a call from inside the report only asks.
    void stop();

    MediaTime duration() const { return muxer_->duration(); }
    int64_t size() const { return muxer_->size(); }

  private:
    enum class FailureKind { capture, write };
    struct Failure {
        FailureKind kind;
        Error error;
    };

    RecordingPipeline(const PipelineSettings& settings, RecordingEvents events);
    std::expected<void, Error> openSound();
    std::expected<void, Error> openEncoding();
    void startThreads();

    void captureVideo();
    void encodeVideo();
    void encodeAudio();
    void supervise();
    // Ends capture and completes the file; the error of the last step, if any.
    std::optional<Error> windDown();
    std::optional<Error> finishFile();
    void fail(FailureKind kind, Error error);
    RealtimeEncoder::PacketSink trackSink(int track);
    Clock::time_point due(int64_t tick) const;
    int64_t periodAt(Clock::time_point at) const;  // the frame period a moment falls in

    const PipelineSettings settings_;
    RecordingEvents events_;  // used by the supervising thread only, once running

    std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_.
    bool stopRequested_ = false;
    bool capturing_ = true;
    std::optional<int64_t> soundEnd_;  // sample position the sound track ends at
    std::optional<Failure> failure_;

    Clock::time_point origin_;  // set before the threads start
    std::unique_ptr<VideoCapture> video_;
    FrameQueue frames_;
    std::unique_ptr<AudioMixer> mixer_;
    std::unique_ptr<PulseConnection> sound_;
    std::vector<std::unique_ptr<PulseCapture>> sources_;
    std::unique_ptr<RealtimeEncoder> videoEncoder_;
    std::unique_ptr<AudioEncoder> audioEncoder_;
    std::unique_ptr<RealtimeMuxer> muxer_;

    std::thread videoCapture_;
    std::thread videoEncoding_;
    std::thread audioEncoding_;
    std::thread supervisor_;
    std::thread::id supervisorId_;  // fixed once the threads run
    std::mutex joining_;            // one caller at a time waits for the supervisor
};

}  // namespace vx::platform::linux_

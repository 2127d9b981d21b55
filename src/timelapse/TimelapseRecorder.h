#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Dispatch.h"
#include "platform/MovieWriter.h"
#include "platform/ScreenCapture.h"

#include "capture/CaptureTarget.h"
#include "capture/Recorder.h"

namespace vx {

class Settings;

// The values of a running session, fixed at its start.
struct CaptureParams {
    double interval = 0;      // seconds between captures
    int32_t playbackFPS = 1;  // frames per second of the movie
};

// Takes one screenshot of a display every capture interval and appends it as
// the next frame of an MPEG-4 movie whose frames lie exactly 1/playbackFPS
// apart. Create it with std::make_shared: posted work keeps it alive.
class TimelapseRecorder : public Recorder, public std::enable_shared_from_this<TimelapseRecorder> {
  public:
    static constexpr const char* kQueueLabel = "lab.quimbry.ventilux.capture";

    explicit TimelapseRecorder(std::shared_ptr<Settings> settings);
    ~TimelapseRecorder() override;

    bool isRecording() const override;
    bool isBusy() const override { return phase_ != Phase::idle; }
    void start() override;
    void stop(std::function<void()> completion) override;
    std::optional<std::string> sessionLabel() const override;

  private:
    enum class RecState { idle, recording };
    // What the main thread knows of the session, so that a start never meets
    // a finish still using the session's fields.
    enum class Phase { idle, starting, recording, finishing };

    void beginCapture();
    void configureSession(CaptureTarget::DisplayResult display);
    void openSession(platform::ScreenshotRequest config, CaptureParams params);
    void sessionStarted(CaptureParams params);
    void startTimer(const CaptureParams& params);
    void captureTick();
    void captureFailed();
    void appendFrame(std::shared_ptr<const platform::PixelBuffer> frame);
    void endBecause(std::string cause);
    void endIfWriterFailed();
    void finish(std::function<void()> completion);
    void writerFinished(int64_t frames, std::filesystem::path file,
                        std::function<void()> completion);
    void cleanup();
    void failStart(std::string text);
    void report(std::string text);
    void sessionEnded(std::function<void()> deliver);

    // Read on every thread; written by the session's set-up and by stop().
    std::atomic<RecState> state_{RecState::idle};
    const std::shared_ptr<Settings> settings_;
    platform::Dispatch& dispatch_;
    const std::shared_ptr<platform::SerialQueue> queue_;

    // Main thread only.
    Phase phase_ = Phase::idle;
    bool startDeferred_ = false;
    std::unique_ptr<platform::RepeatingTimer> timer_;
    std::optional<CaptureParams> labelParams_;

    // queue_ only.
    std::unique_ptr<platform::MovieWriter> writer_;
    int64_t frameIndex_ = 0;
    std::optional<platform::ScreenshotRequest> config_;
    std::optional<std::filesystem::path> outputURL_;
    std::optional<CaptureParams> params_;
    // Why the session ended by itself, when it did: the disk, the display.
    std::optional<std::string> endCause_;
};

}  // namespace vx

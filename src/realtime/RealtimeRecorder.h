#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Dispatch.h"
#include "platform/RecordingStream.h"

#include "capture/CaptureTarget.h"
#include "capture/Recorder.h"

namespace vx {

class Settings;

// Records one display at full speed, with system audio and a microphone,
// through the platform's recording stream, which captures, encodes and writes
// the movie by itself. Create it with std::make_shared: posted work keeps it alive.
class RealtimeRecorder : public Recorder, public std::enable_shared_from_this<RealtimeRecorder> {
  public:
    static constexpr double kWatchdogDelay = 15.0;

    explicit RealtimeRecorder(std::shared_ptr<Settings> settings);

    bool isRecording() const override { return isRecording_; }
    // A session holds its stream from commit() to the end of its finish.
    bool isBusy() const override { return starting_ || !finished_; }
    void start() override;
    void stop(std::function<void()> completion) override;
    std::optional<std::string> sessionLabel() const override;

    // The audio sources of a session as the menu label ends: " · system audio + mic".
    static std::string summary(bool systemAudio, const std::optional<std::string>& micID,
                               bool micRefused);

  private:
    struct Audio {
        std::optional<std::string> micID;
        bool micRefused = false;
    };

    void begin();
    void configureSession(CaptureTarget::DisplayResult display, Audio audio);
    void commit(std::shared_ptr<platform::RecordingStream> stream, std::filesystem::path file,
                std::string summary, uint64_t session, std::function<void()> underNextName);
    void captureStarted(std::optional<platform::Error> error, uint64_t session);
    platform::RecordingEvents eventsFor(uint64_t session);
    void finalize(std::optional<platform::Error> error, uint64_t session);
    void finish(const std::optional<platform::Error>& error, uint64_t session);
    void failStart(std::string text);
    void report(std::string text);

    const std::shared_ptr<Settings> settings_;
    platform::Dispatch& dispatch_;
    // Numbers sessions so that a late report of an earlier one finishes nothing.
    std::atomic<uint64_t> lastSession_{0};

    // Main thread only.
    bool isRecording_ = false;
    bool starting_ = false;
    bool startDeferred_ = false;
    bool finished_ = true;
    uint64_t session_ = 0;
    std::shared_ptr<platform::RecordingStream> stream_;
    std::optional<std::filesystem::path> outputURL_;
    std::string sourceSummary_;
    std::function<void()> finishCompletion_;
    // Sets the session up again while its movie's name was taken by another.
    std::function<void()> underNextName_;
    int nameAttempts_ = 0;
};

}  // namespace vx

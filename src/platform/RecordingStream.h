#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace vx::platform {

// What to capture: one display, its sound and a microphone.
struct StreamConfiguration {
    uint32_t displayID = 0;
    int64_t width = 0;  // size of the recorded picture
    int64_t height = 0;
    bool scalesToFit = true;
    MediaTime minimumFrameInterval{1, 60};  // at most this many frames per second
    int32_t queueDepth = 8;
    bool showsCursor = true;
    bool showMouseClicks = true;  // a ring where the user clicks
    bool capturesAudio = true;    // the system's sound
    bool excludesCurrentProcessAudio = true;
    int32_t sampleRate = 48000;
    int32_t channelCount = 2;
    bool captureMicrophone = false;
    std::optional<std::string> microphoneCaptureDeviceID;  // an AudioInput's uniqueID
};

enum class VideoCodec { h264, hevc };
enum class MovieFileType { mpeg4, quickTimeMovie };

// Where and how the recording is written; unset values take the stream's defaults.
struct RecordingConfiguration {
    std::optional<VideoCodec> videoCodec;
    std::optional<MovieFileType> fileType;
    std::filesystem::path outputURL;
};

// How a stream tells its owner that the recording ended. Each may run on a
// thread of the stream's choosing; a stream reports at most one of them, once.
struct RecordingEvents {
    std::function<void()> didFinishRecording;            // the file is complete
    std::function<void(const Error&)> didFail;           // writing failed
    std::function<void(const Error&)> didStopWithError;  // capture stopped on its own
};

using CompletionHandler = std::function<void(std::optional<Error>)>;

// Captures, encodes and writes one recording by itself.
class RecordingStream {
  public:
    virtual ~RecordingStream() = default;
    // Called on a background task: blocks while the display, the sound
    // sources and the file are opened, which a slow desktop or sound server
    // stretches to seconds. `handler` runs once, on any thread: no error when
    // capture runs.
    virtual void startCapture(CompletionHandler handler) = 0;
    // Ends capture and finishes the file; the end is reported through
    // RecordingEvents. Called on a background task; blocks until the file is
    // finished. `handler` runs once, on any thread.
    virtual void stopCapture(CompletionHandler handler) = 0;
    // Read from the main thread while recording; never block.
    virtual MediaTime recordedDuration() const = 0;
    virtual int64_t recordedFileSize() const = 0;
};

// Called on a background task; no call blocks.
class RecordingStreams {
  public:
    virtual ~RecordingStreams() = default;
    virtual std::vector<VideoCodec> availableVideoCodecTypes() = 0;
    virtual std::vector<MovieFileType> availableOutputFileTypes() = 0;
    // A stream with its recording output attached, not yet capturing: nothing
    // is opened before startCapture.
    virtual std::expected<std::shared_ptr<RecordingStream>, Error> makeStream(
        const StreamConfiguration& stream, const RecordingConfiguration& recording,
        RecordingEvents events) = 0;
};

}  // namespace vx::platform

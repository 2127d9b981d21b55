#include "realtime/RealtimeRecorder.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "platform/Services.h"

#include "capture/MovieFile.h"
#include "capture/ScreenCapturePermission.h"
#include "settings/Settings.h"

namespace vx {

namespace {

constexpr int32_t kQueueDepth = 8;
constexpr int32_t kSampleRate = 48000;
constexpr int32_t kChannelCount = 2;
constexpr double kBytesPerMegabyte = 1048576.0;

template <typename T>
bool offers(const std::vector<T>& offered, T wanted) {
    return std::find(offered.begin(), offered.end(), wanted) != offered.end();
}

}  // namespace

RealtimeRecorder::RealtimeRecorder(std::shared_ptr<Settings> settings)
    : settings_(std::move(settings)), dispatch_(*platform::services().dispatch) {}

void RealtimeRecorder::start() {
    if (isRecording_ || starting_) {
        return;
    }
    if (!finished_) {
        // The stopping session still owns the stream: begin once it has finished.
        startDeferred_ = true;
        return;
    }
    starting_ = true;
    nameAttempts_ = 0;
    dispatch_.runInBackground([self = shared_from_this()] { self->begin(); });
}

void RealtimeRecorder::begin() {
    if (!ScreenCapturePermission::check()) {
        failStart(ScreenCapturePermission::kMissingMessage);
        return;
    }
    Audio audio{settings_->microphoneDeviceID(), false};
    if (audio.micID && platform::services().audioDevices->authorizationStatus() !=
                           platform::MicrophoneAuthorization::authorized) {
        report(settings_->capturesSystemAudio()
                   ? "Recording without the microphone — access not granted."
                   : "No audio: the microphone is not granted and System Audio is off.");
        audio = {std::nullopt, true};
    }
    CaptureTarget::display(settings_->displayID(), [self = shared_from_this(),
                                                    audio](CaptureTarget::DisplayResult display) {
        self->configureSession(std::move(display), audio);
    });
}

void RealtimeRecorder::configureSession(CaptureTarget::DisplayResult display, Audio audio) {
    if (!display) {
        failStart("Could not start: " + display.error().description);
        return;
    }
    const auto size = CaptureTarget::recordingSize(*display, settings_->resolutionScale());
    if (!size) {
        failStart("Could not start: " + size.error().description);
        return;
    }
    const auto [width, height] = *size;
    platform::StreamConfiguration stream{
        .displayID = display->displayID,
        .width = width,
        .height = height,
        .scalesToFit = true,
        .minimumFrameInterval = {1, static_cast<int32_t>(
                                        std::min<int64_t>(settings_->realtimeFPS(),
                                                          std::numeric_limits<int32_t>::max()))},
        .queueDepth = kQueueDepth,
        .showsCursor = settings_->showsCursor(),
        .showMouseClicks = settings_->showsMouseClicks(),
        .capturesAudio = settings_->capturesSystemAudio(),
        .excludesCurrentProcessAudio = true,
        .sampleRate = kSampleRate,
        .channelCount = kChannelCount,
        .captureMicrophone = audio.micID.has_value(),
        .microphoneCaptureDeviceID = audio.micID,
    };

    auto& streams = *platform::services().recordingStreams;
    platform::RecordingConfiguration recording;
    if (offers(streams.availableVideoCodecTypes(), platform::VideoCodec::hevc)) {
        recording.videoCodec = platform::VideoCodec::hevc;
    }
    std::string extension = "mp4";
    if (offers(streams.availableOutputFileTypes(), platform::MovieFileType::quickTimeMovie)) {
        recording.fileType = platform::MovieFileType::quickTimeMovie;
        extension = "mov";
    }
    auto file = newMovieFile(settings_->outputDirectory(), extension);
    if (!file) {
        failStart("Could not start: " + file.error().description);
        return;
    }
    recording.outputURL = *file;

    const uint64_t session = ++lastSession_;
    auto made = streams.makeStream(stream, recording, eventsFor(session));
    if (!made) {
        failStart("Could not start: " + made.error().description);
        return;
    }
    // The stream creates the file only as capture starts; another session may
    // take the name first, and the same set-up then runs again under the next one.
    auto again = [self = shared_from_this(), display = *display, audio] {
        self->dispatch_.runInBackground(
            [self, display, audio] { self->configureSession(display, audio); });
    };
    dispatch_.post([self = shared_from_this(), stream = *made, file = *file,
                    summary = summary(stream.capturesAudio, audio.micID, audio.micRefused), session,
                    again] { self->commit(stream, file, summary, session, again); });
}

void RealtimeRecorder::commit(std::shared_ptr<platform::RecordingStream> stream,
                              std::filesystem::path file, std::string summary, uint64_t session,
                              std::function<void()> underNextName) {
    underNextName_ = std::move(underNextName);
    stream_ = std::move(stream);
    outputURL_ = std::move(file);
    sourceSummary_ = std::move(summary);
    session_ = session;
    finished_ = false;
    // Starting capture may wait on the display and the sound server: never on the main thread.
    dispatch_.runInBackground([self = shared_from_this(), stream = stream_, session] {
        stream->startCapture([self, session](std::optional<platform::Error> error) {
            self->dispatch_.post([self, error, session] { self->captureStarted(error, session); });
        });
    });
}

void RealtimeRecorder::captureStarted(std::optional<platform::Error> error, uint64_t session) {
    if (session != session_ || finished_) {
        return;  // this session already ended through a report of the stream
    }
    if (error) {
        stream_.reset();
        outputURL_.reset();
        finished_ = true;
        if (movieNameWasTaken(*error) && ++nameAttempts_ < kMovieNameAttempts) {
            std::exchange(underNextName_, nullptr)();
            return;
        }
        starting_ = false;
        report("Could not start: " + error->description);
        return;
    }
    starting_ = false;
    underNextName_ = nullptr;
    isRecording_ = true;
    if (onStateChange) {
        onStateChange(true);
    }
}

platform::RecordingEvents RealtimeRecorder::eventsFor(uint64_t session) {
    std::weak_ptr<RealtimeRecorder> weakSelf = shared_from_this();
    auto finalizeWith = [weakSelf, session](std::optional<platform::Error> error) {
        if (auto self = weakSelf.lock()) {
            self->finalize(std::move(error), session);
        }
    };
    return {
        .didFinishRecording = [finalizeWith] { finalizeWith(std::nullopt); },
        .didFail = [finalizeWith](const platform::Error& error) { finalizeWith(error); },
        .didStopWithError = [finalizeWith](const platform::Error& error) { finalizeWith(error); },
    };
}

void RealtimeRecorder::stop(std::function<void()> completion) {
    if (!isRecording_ || !stream_) {
        if (completion) {
            dispatch_.post(std::move(completion));
        }
        return;
    }
    isRecording_ = false;
    finishCompletion_ = std::move(completion);
    dispatch_.runInBackground(
        [stream = stream_] { stream->stopCapture([](std::optional<platform::Error>) {}); });
    std::weak_ptr<RealtimeRecorder> weakSelf = shared_from_this();
    dispatch_.postAfter(kWatchdogDelay, [weakSelf, session = session_] {
        if (auto self = weakSelf.lock()) {
            self->finalize(std::nullopt, session);
        }
    });
}

void RealtimeRecorder::finalize(std::optional<platform::Error> error, uint64_t session) {
    dispatch_.post([self = shared_from_this(), error = std::move(error), session] {
        self->finish(error, session);
    });
}

void RealtimeRecorder::finish(const std::optional<platform::Error>& error, uint64_t session) {
    if (finished_ || session != session_) {
        return;
    }
    finished_ = true;
    if (std::exchange(starting_, false)) {
        // The stream gave up before capture ever ran: a failed start, not an ended session.
        stream_.reset();
        outputURL_.reset();
        report("Could not start: " + (error ? error->description : "the capture ended at once."));
        return;
    }
    const auto file = outputURL_;
    const platform::MediaTime duration =
        stream_ ? stream_->recordedDuration() : platform::MediaTime{};
    stream_.reset();
    outputURL_.reset();
    isRecording_ = false;
    if (onStateChange) {
        onStateChange(false);
    }
    if (onMessage) {
        std::error_code ignored;
        if (error) {
            onMessage("Recording failed: " + error->description, std::nullopt);
        } else if (file && std::filesystem::exists(*file, ignored)) {
            onMessage("Saved " + CaptureTarget::clock(duration) + " recording", file);
        } else {
            onMessage("Stopped — nothing was written.", std::nullopt);
        }
    }
    if (auto completion = std::exchange(finishCompletion_, nullptr)) {
        completion();
    }
    if (std::exchange(startDeferred_, false)) {
        start();
    }
}

void RealtimeRecorder::failStart(std::string text) {
    dispatch_.post([self = shared_from_this()] { self->starting_ = false; });
    report(std::move(text));
}

void RealtimeRecorder::report(std::string text) {
    dispatch_.post([self = shared_from_this(), text = std::move(text)] {
        if (self->onMessage) {
            self->onMessage(text, std::nullopt);
        }
    });
}

std::optional<std::string> RealtimeRecorder::sessionLabel() const {
    if (!isRecording_ || !stream_) {
        return std::nullopt;
    }
    char megabytes[64];
    std::snprintf(megabytes, sizeof megabytes, "%.0f",
                  static_cast<double>(stream_->recordedFileSize()) / kBytesPerMegabyte);
    return CaptureTarget::clock(stream_->recordedDuration()) + " · " + megabytes + " MB" +
           sourceSummary_;
}

std::string RealtimeRecorder::summary(bool systemAudio, const std::optional<std::string>& micID,
                                      bool micRefused) {
    std::vector<std::string> items;
    if (systemAudio) {
        items.push_back("system audio");
    }
    if (micID) {
        items.push_back("mic");
    }
    if (micRefused) {
        items.push_back("NO MIC — not allowed yet");
    }
    if (items.empty()) {
        return " · no audio";
    }
    std::string text = " ·";
    for (size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? " " : " + ") + items[i];
    }
    return text;
}

}  // namespace vx

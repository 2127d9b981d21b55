#include "timelapse/TimelapseRecorder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "platform/Services.h"

#include "capture/ScreenCapturePermission.h"
#include "settings/Settings.h"
#include "timelapse/TimelapseWriterSetup.h"

namespace vx {

namespace {

constexpr double kTimerLeeway = 0.05;
// A hand-edited interval can be any number; a year is as good as forever and
// keeps the timer's arithmetic finite.
constexpr double kLongestInterval = 365.0 * 24 * 3600;

// What stopped the writer, as the end of "Saved 13-frame time-lapse (disk full)".
std::string failureCause(const std::optional<platform::Error>& error) {
    if (error && error->domain == "POSIX" && error->code == ENOSPC) {
        return "disk full";
    }
    return "write failed: " + (error ? error->description : std::string("unknown"));
}

std::string intervalText(double interval) {
    if (interval < 1) {
        return std::to_string(static_cast<int64_t>(interval * 1000)) + " ms";
    }
    char digits[32];
    auto end = std::to_chars(digits, digits + sizeof digits, interval).ptr;
    return std::string(digits, end) + " s";
}

}  // namespace

TimelapseRecorder::TimelapseRecorder(std::shared_ptr<Settings> settings)
    : settings_(std::move(settings)),
      dispatch_(*platform::services().dispatch),
      queue_(dispatch_.makeSerialQueue(kQueueLabel)) {}

TimelapseRecorder::~TimelapseRecorder() = default;

bool TimelapseRecorder::isRecording() const {
    return state_ == RecState::recording;
}

void TimelapseRecorder::start() {
    switch (phase_) {
        case Phase::starting:
        case Phase::recording:
            return;
        case Phase::finishing:
            // The finishing movie still owns the session's fields: begin once it is saved.
            startDeferred_ = true;
            return;
        case Phase::idle:
            break;
    }
    phase_ = Phase::starting;
    dispatch_.runInBackground([self = shared_from_this()] { self->beginCapture(); });
}

void TimelapseRecorder::beginCapture() {
    if (!ScreenCapturePermission::check()) {
        failStart(ScreenCapturePermission::kMissingMessage);
        return;
    }
    CaptureTarget::display(settings_->displayID(),
                           [self = shared_from_this()](CaptureTarget::DisplayResult display) {
                               self->configureSession(std::move(display));
                           });
}

void TimelapseRecorder::configureSession(CaptureTarget::DisplayResult display) {
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
    const platform::ScreenshotRequest config{
        .displayID = display->displayID,
        .width = width,
        .height = height,
        .showsCursor = settings_->showsCursor(),
        .scalesToFit = true,
    };
    const CaptureParams params{
        .interval = settings_->captureInterval(),
        .playbackFPS = static_cast<int32_t>(
            std::min<int64_t>(settings_->playbackFPS(), std::numeric_limits<int32_t>::max())),
    };
    queue_->post(
        [self = shared_from_this(), config, params] { self->openSession(config, params); });
}

void TimelapseRecorder::openSession(platform::ScreenshotRequest config, CaptureParams params) {
    auto movie =
        setupWriter(settings_->outputDirectory(), config.width, config.height, params.playbackFPS);
    if (!movie) {
        failStart("Could not start: " + movie.error().description);
        return;
    }
    config_ = config;
    params_ = params;
    writer_ = std::move(movie->writer);
    outputURL_ = movie->file;
    frameIndex_ = 0;
    state_ = RecState::recording;
    dispatch_.post([self = shared_from_this(), params] { self->sessionStarted(params); });
}

void TimelapseRecorder::sessionStarted(CaptureParams params) {
    if (phase_ == Phase::starting) {
        phase_ = Phase::recording;
    }
    labelParams_ = params;
    if (onStateChange) {
        onStateChange(true);
    }
    // A stop may already have come between the set-up and this delivery.
    if (state_ == RecState::recording) {
        startTimer(params);
    }
}

void TimelapseRecorder::startTimer(const CaptureParams& params) {
    std::weak_ptr<TimelapseRecorder> weakSelf = shared_from_this();
    timer_ = dispatch_.startTimer(queue_, 0, std::min(params.interval, kLongestInterval),
                                  kTimerLeeway, [weakSelf] {
                                      if (auto self = weakSelf.lock()) {
                                          self->captureTick();
                                      }
                                  });
}

void TimelapseRecorder::captureTick() {
    if (state_ != RecState::recording || !config_) {
        return;
    }
    endIfWriterFailed();
    dispatch_.runInBackground([self = shared_from_this(), config = *config_] {
        platform::services().screenCapture->captureScreenshot(
            config,
            [self](std::expected<std::shared_ptr<const platform::PixelBuffer>, platform::Error>
                       image) {
                if (image && *image) {
                    self->appendFrame(std::move(*image));
                } else {
                    self->captureFailed();
                }
            });
    });
}

// A failed capture adds no frame and the session goes on, unless the display
// itself is gone: then no later tick could add one either.
void TimelapseRecorder::captureFailed() {
    platform::services().screenCapture->shareableContent(
        [self = shared_from_this()](
            std::expected<platform::ShareableContent, platform::Error> content) {
            self->queue_->post([self, content = std::move(content)] {
                if (!self->config_) {
                    return;
                }
                const uint32_t recorded = self->config_->displayID;
                const bool present =
                    content && std::any_of(content->displays.begin(), content->displays.end(),
                                           [recorded](const platform::DisplayInfo& display) {
                                               return display.displayID == recorded;
                                           });
                if (!present) {
                    self->endBecause("display gone");
                }
            });
        });
}

void TimelapseRecorder::endIfWriterFailed() {
    if (writer_ && writer_->status() == platform::WriterStatus::failed) {
        endBecause(failureCause(writer_->error()));
    }
}

// Ends the session as a stop would, with the cause in its final message.
void TimelapseRecorder::endBecause(std::string cause) {
    if (state_ != RecState::recording || endCause_) {
        return;
    }
    endCause_ = std::move(cause);
    dispatch_.post([self = shared_from_this()] { self->stop(nullptr); });
}

void TimelapseRecorder::appendFrame(std::shared_ptr<const platform::PixelBuffer> frame) {
    queue_->post([self = shared_from_this(), frame = std::move(frame)] {
        if (self->state_ != RecState::recording || !self->params_ || !self->writer_ ||
            !self->writer_->isReadyForMoreMediaData()) {
            return;  // dropped, never queued: the recorder keeps no backlog
        }
        const platform::MediaTime time{self->frameIndex_, self->params_->playbackFPS};
        if (self->writer_->append(frame, time)) {
            ++self->frameIndex_;
        } else {
            self->endIfWriterFailed();
        }
    });
}

void TimelapseRecorder::stop(std::function<void()> completion) {
    if (state_ != RecState::recording) {
        if (completion) {
            dispatch_.post(std::move(completion));
        }
        return;
    }
    if (timer_) {
        timer_->cancel();
        timer_.reset();
    }
    state_ = RecState::idle;
    phase_ = Phase::finishing;
    queue_->post([self = shared_from_this(), completion = std::move(completion)]() mutable {
        self->finish(std::move(completion));
    });
}

void TimelapseRecorder::finish(std::function<void()> completion) {
    const int64_t frames = frameIndex_;
    const std::filesystem::path file = outputURL_.value_or(std::filesystem::path());
    if (frames > 0) {
        writer_->markAsFinished();
        writer_->finishWriting([self = shared_from_this(), frames, file, completion] {
            self->queue_->post([self, frames, file, completion] {
                self->writerFinished(frames, file, completion);
            });
        });
        return;
    }
    writer_->cancelWriting();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    cleanup();
    report("Stopped — no frames captured.");
    sessionEnded(std::move(completion));
}

void TimelapseRecorder::writerFinished(int64_t frames, std::filesystem::path file,
                                       std::function<void()> completion) {
    const bool completed = writer_->status() == platform::WriterStatus::completed;
    const auto error = writer_->error();
    // Every frame is synced as it is written, so a failed writer still leaves
    // a movie that plays up to the failure; only one without frames is useless.
    const int64_t kept = completed ? frames : writer_->writtenFrameCount();
    std::optional<std::string> cause = endCause_;
    if (!completed && !cause) {
        cause = failureCause(error);
    }
    std::string text = "Saved " + std::to_string(kept) + "-frame time-lapse";
    if (cause) {
        text += " (" + *cause + ")";
    }
    std::optional<std::filesystem::path> saved = file;
    if (kept == 0) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        text = "Write failed: " + (error ? error->description : std::string("unknown"));
        saved.reset();
    }
    cleanup();
    sessionEnded([self = shared_from_this(), text, saved, completion] {
        if (self->onMessage) {
            self->onMessage(text, saved);
        }
        if (completion) {
            completion();
        }
    });
}

void TimelapseRecorder::sessionEnded(std::function<void()> deliver) {
    dispatch_.post([self = shared_from_this(), deliver = std::move(deliver)] {
        self->phase_ = Phase::idle;
        self->labelParams_.reset();
        if (self->onStateChange) {
            self->onStateChange(false);
        }
        if (deliver) {
            deliver();
        }
        if (std::exchange(self->startDeferred_, false)) {
            self->start();
        }
    });
}

void TimelapseRecorder::cleanup() {
    writer_.reset();
    endCause_.reset();
    config_.reset();
    outputURL_.reset();
    params_.reset();
}

void TimelapseRecorder::failStart(std::string text) {
    dispatch_.post([self = shared_from_this()] { self->phase_ = Phase::idle; });
    report(std::move(text));
}

void TimelapseRecorder::report(std::string text) {
    dispatch_.post([self = shared_from_this(), text = std::move(text)] {
        if (self->onMessage) {
            self->onMessage(text, std::nullopt);
        }
    });
}

std::optional<std::string> TimelapseRecorder::sessionLabel() const {
    if (!labelParams_) {
        return std::nullopt;
    }
    return "Capturing every " + intervalText(labelParams_->interval) + "…";
}

}  // namespace vx

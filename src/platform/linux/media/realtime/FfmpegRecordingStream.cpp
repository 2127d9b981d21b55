#include "platform/linux/media/realtime/FfmpegRecordingStream.h"

#include <utility>

namespace vx::platform::linux_ {

FfmpegRecordingStream::FfmpegRecordingStream(PipelineSettings settings, RecordingEvents events)
    : settings_(std::move(settings)), events_(std::move(events)) {}

void FfmpegRecordingStream::startCapture(CompletionHandler handler) {
    std::optional<Error> outcome;
    {
        std::lock_guard lock(control_);
        if (started_) {
            outcome = Error{kAppErrorDomain, 0, "This recording was started already."};
        } else {
            started_ = true;
            auto started = RecordingPipeline::start(settings_, std::move(events_));
            if (started) {
                pipeline_ = std::move(*started);
                running_.store(pipeline_.get());
            } else {
                outcome = started.error();
            }
        }
    }
    handler(std::move(outcome));
}

void FfmpegRecordingStream::stopCapture(CompletionHandler handler) {
    RecordingPipeline* pipeline;
    {
        // Waits for a start under way, so that the stop finds what it started.
        std::lock_guard lock(control_);
        pipeline = pipeline_.get();
    }
    if (pipeline != nullptr) {
        pipeline->stop();
    }
    handler(std::nullopt);
}

MediaTime FfmpegRecordingStream::recordedDuration() const {
    const RecordingPipeline* pipeline = running_.load();
    return pipeline != nullptr ? pipeline->duration() : MediaTime{0, 1'000'000};
}

int64_t FfmpegRecordingStream::recordedFileSize() const {
    const RecordingPipeline* pipeline = running_.load();
    return pipeline != nullptr ? pipeline->size() : 0;
}

}  // namespace vx::platform::linux_

#include "platform/sim/SimRecordingStreams.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <utility>

namespace vx::platform::sim {

namespace {

class SimRecordingStream : public RecordingStream {
  public:
    explicit SimRecordingStream(std::shared_ptr<SimRecording> recording)
        : recording_(std::move(recording)) {}

    void startCapture(CompletionHandler handler) override {
        ++recording_->startCalls;
        recording_->heldStart = std::move(handler);
        if (recording_->answersStartAtOnce) {
            recording_->completeStart();
        }
    }
    void stopCapture(CompletionHandler handler) override {
        ++recording_->stopCalls;
        recording_->heldStop = std::move(handler);
        if (recording_->answersStopAtOnce) {
            recording_->completeStop();
        }
    }
    MediaTime recordedDuration() const override { return recording_->duration; }
    int64_t recordedFileSize() const override { return recording_->fileSize; }

  private:
    std::shared_ptr<SimRecording> recording_;
};

template <class Handler, class... Args>
void runOnce(Handler& held, Args&&... args) {
    if (auto handler = std::exchange(held, nullptr)) {
        handler(std::forward<Args>(args)...);
    }
}

}  // namespace

void SimRecording::completeStart() {
    if (!heldStart) {
        return;
    }
    // Like a real stream, the file is created exclusively as capture starts.
    if (!startError && createsFile && std::filesystem::exists(recording.outputURL)) {
        startError = Error{"POSIX", EEXIST,
                           "Cannot create " + recording.outputURL.string() + ": File exists."};
    }
    if (!startError) {
        capturing = true;
        if (createsFile) {
            std::ofstream(recording.outputURL) << "";
        }
    }
    runOnce(heldStart, startError);
}

void SimRecording::completeStop() {
    if (!heldStop) {
        return;
    }
    const bool wasCapturing = std::exchange(capturing, false);
    runOnce(heldStop, std::nullopt);
    if (wasCapturing && finishesOnStop) {
        reportFinished();
    }
}

void SimRecording::reportFinished() {
    if (events.didFinishRecording) {
        events.didFinishRecording();
    }
}

void SimRecording::reportFailure(const Error& error) {
    capturing = false;
    if (events.didFail) {
        events.didFail(error);
    }
}

void SimRecording::reportStopWithError(const Error& error) {
    capturing = false;
    if (events.didStopWithError) {
        events.didStopWithError(error);
    }
}

std::expected<std::shared_ptr<RecordingStream>, Error> SimRecordingStreams::makeStream(
    const StreamConfiguration& stream, const RecordingConfiguration& recording,
    RecordingEvents events) {
    if (makeError) {
        return std::unexpected(*makeError);
    }
    auto made = std::make_shared<SimRecording>(behaviour);
    made->stream = stream;
    made->recording = recording;
    made->events = std::move(events);
    recordings.push_back(made);
    return std::make_shared<SimRecordingStream>(made);
}

}  // namespace vx::platform::sim

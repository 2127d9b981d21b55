#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/RecordingStream.h"
#include "platform/linux/media/realtime/RecordingPipeline.h"

namespace vx::platform::linux_ {

// One recording, started once and stopped once. Start and stop do their work
// on the caller's thread and answer before they return: a start takes as long
// as opening the screen, the sound server and the file; a stop as long as the
// encoders need to write out what they hold (well under a second).
class FfmpegRecordingStream : public RecordingStream {
  public:
    FfmpegRecordingStream(PipelineSettings settings, RecordingEvents events);

    void startCapture(CompletionHandler handler) override;
    void stopCapture(CompletionHandler handler) override;
    MediaTime recordedDuration() const override;
    int64_t recordedFileSize() const override;

  private:
    const PipelineSettings settings_;
    std::mutex control_;  // one start or stop at a time
    // Guarded by control_.
    RecordingEvents events_;
    bool started_ = false;
    std::unique_ptr<RecordingPipeline> pipeline_;
    // The running pipeline for readers that must not wait behind a stop; set
    // once, and the pipeline lives as long as this stream.
    std::atomic<RecordingPipeline*> running_{nullptr};
};

}  // namespace vx::platform::linux_

#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/RecordingStream.h"

namespace vx::platform::sim {

// What one simulated stream was given, how it behaves, and the test's hand on it.
struct SimRecording {
    StreamConfiguration stream;
    RecordingConfiguration recording;
    RecordingEvents events;
    int startCalls = 0;
    int stopCalls = 0;
    bool capturing = false;

    // Behaviour the test can change at any time.
    std::optional<Error> startError;  // set: the start fails with it
    bool answersStartAtOnce = true;   // false: the start handler waits for completeStart()
    bool answersStopAtOnce = true;    // false: the stop handler waits for completeStop()
    bool finishesOnStop = true;       // a stop reports didFinishRecording
    bool createsFile = true;          // a successful start creates the output file
    MediaTime duration{0, 600};
    int64_t fileSize = 0;

    // The test's hand: each runs the held handler or reports the event now, on
    // the test's thread. A held handler runs once.
    void completeStart();
    void completeStop();
    void reportFinished();
    void reportFailure(const Error& error);
    void reportStopWithError(const Error& error);

    CompletionHandler heldStart;
    CompletionHandler heldStop;
};

// Streams that record what they were given and do what the test says.
class SimRecordingStreams : public RecordingStreams {
  public:
    std::vector<VideoCodec> availableVideoCodecTypes() override { return videoCodecs; }
    std::vector<MovieFileType> availableOutputFileTypes() override { return fileTypes; }
    std::expected<std::shared_ptr<RecordingStream>, Error> makeStream(
        const StreamConfiguration& stream, const RecordingConfiguration& recording,
        RecordingEvents events) override;

    std::vector<VideoCodec> videoCodecs{VideoCodec::h264};
    std::vector<MovieFileType> fileTypes{MovieFileType::quickTimeMovie, MovieFileType::mpeg4};
    std::optional<Error> makeError;
    // Copied into every stream made from now on.
    SimRecording behaviour;
    std::vector<std::shared_ptr<SimRecording>> recordings;
};

}  // namespace vx::platform::sim

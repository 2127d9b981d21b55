#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Types.h"

namespace vx::platform {

// One H.264 track fed with B, G, R, X frames of exactly width x height.
struct VideoTrackSettings {
    int64_t width = 0;
    int64_t height = 0;
    int64_t averageBitRate = 0;       // bits per second
    int32_t maxKeyFrameInterval = 0;  // frames
    int32_t timescale = 1;            // frame times are k / timescale
};

enum class WriterStatus { unknown, writing, completed, failed, cancelled };

// An MPEG-4 movie being written. Not thread-safe: the owner calls it from one
// queue at a time (the time-lapse capture queue); only the finish handler runs
// elsewhere. Encoding and writing happen off that queue: no call waits for
// them except startWriting and cancelWriting.
class MovieWriter {
  public:
    virtual ~MovieWriter() = default;
    // False when the file cannot carry such a track.
    virtual bool addVideoTrack(const VideoTrackSettings& settings) = 0;
    // Starts the session at time zero; on false, error() may tell why. Blocks
    // while the encoder opens and the file's header is written.
    virtual bool startWriting() = 0;
    // False while the encoder cannot take another frame right now.
    virtual bool isReadyForMoreMediaData() const = 0;
    // True when the frame was accepted; it is encoded and written later.
    virtual bool append(std::shared_ptr<const PixelBuffer> frame, MediaTime time) = 0;
    virtual void markAsFinished() = 0;
    // Returns at once. `handler` runs once, on a thread of the writer's
    // choosing, when the file is complete or has failed; status() and error()
    // then tell which.
    virtual void finishWriting(std::function<void()> handler) = 0;
    virtual WriterStatus status() const = 0;
    virtual std::optional<Error> error() const = 0;
    // Frames that are in the file for good: after a failure, those before it.
    virtual int64_t writtenFrameCount() const = 0;
    // Stops without finishing the file; waits for the frame being encoded.
    virtual void cancelWriting() = 0;
};

class MovieWriters {
  public:
    virtual ~MovieWriters() = default;
    // Creates a new MPEG-4 file at `file`, never replacing an existing one.
    // Called on the capture queue; blocks on the disk, also while it finishes
    // movies a crash left unfinished in the same folder.
    virtual std::expected<std::unique_ptr<MovieWriter>, Error> create(
        const std::filesystem::path& file) = 0;
};

}  // namespace vx::platform

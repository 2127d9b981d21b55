#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/MovieWriter.h"
#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/timelapse/EncoderThread.h"

namespace vx::platform::linux_ {

// One time-lapse movie: H.264 from BGRA frames in an MPEG-4 file, encoded on
// its own thread. While it writes, the file is a fragmented movie synced after
// every frame, so a crash loses at most the frame in hand; the finish turns it
// into a regular movie.
class FfmpegMovieWriter : public MovieWriter {
  public:
    explicit FfmpegMovieWriter(LockedMovieFile file);

    bool addVideoTrack(const VideoTrackSettings& settings) override;
    bool startWriting() override;
    bool isReadyForMoreMediaData() const override;
    bool append(std::shared_ptr<const PixelBuffer> frame, MediaTime time) override;
    void markAsFinished() override;
    void finishWriting(std::function<void()> handler) override;
    WriterStatus status() const override;
    std::optional<Error> error() const override;
    int64_t writtenFrameCount() const override { return thread_.encodedFrameCount(); }
    void cancelWriting() override;

  private:
    // The rest is confined to the owner's queue; the thread keeps the status.
    std::optional<LockedMovieFile> file_;  // until startWriting hands it on
    std::optional<VideoTrackSettings> track_;
    std::optional<int64_t> lastPts_;
    bool started_ = false;
    bool markedFinished_ = false;
    // Last member: destroyed (and joined) first.
    EncoderThread thread_;
};

}  // namespace vx::platform::linux_

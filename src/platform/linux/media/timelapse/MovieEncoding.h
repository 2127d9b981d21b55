#pragma once

#include <cstdint>
#include <expected>
#include <memory>

#include "platform/MovieWriter.h"
#include "platform/Types.h"
#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"
#include "platform/linux/media/timelapse/TimelapseMuxer.h"
#include "platform/linux/media/timelapse/TimelapseVideoEncoder.h"

namespace vx::platform::linux_ {

// One movie's road from BGRA image to file: convert, encode, write. Used by
// one thread at a time (the encoder thread, once the header is written).
class MovieEncoding {
  public:
    // Opens the encoder and writes the movie header into `file`.
    static std::expected<std::unique_ptr<MovieEncoding>, Error> open(
        LockedMovieFile file, const VideoTrackSettings& settings);

    // `pts` counts in 1/timescale; the frame is on disk when this returns.
    std::expected<void, Error> encode(const PixelBuffer& image, int64_t pts);
    // Drains the encoder, ends the fragmented movie and makes it a regular one.
    // When only that last step fails the movie stays fragmented, which still
    // plays and which the next recovery finalises, so the finish succeeds.
    std::expected<void, Error> finish();

  private:
    explicit MovieEncoding(LockedMovieFile file) : file_(std::move(file)) {}
    std::expected<void, Error> write(AVPacket& packet);

    LockedMovieFile file_;
    std::unique_ptr<TimelapseFrameConverter> converter_;
    std::unique_ptr<TimelapseVideoEncoder> encoder_;
    std::unique_ptr<TimelapseMuxer> muxer_;
};

}  // namespace vx::platform::linux_

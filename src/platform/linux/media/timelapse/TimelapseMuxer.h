#pragma once

#include <expected>
#include <memory>

#include "platform/Types.h"
#include "platform/linux/media/FdAvioContext.h"
#include "platform/linux/media/LockedMovieFile.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;
struct AVStream;

namespace vx::platform::linux_ {

// Writes one H.264 track as a fragmented MPEG-4 movie, one fragment per frame,
// each on disk (fdatasync) before the next frame is taken: a plain MPEG-4 file
// cut short has no index and does not play, a fragmented one plays up to its
// last whole fragment.
class TimelapseMuxer {
  public:
    // The movie header is on disk when this returns.
    static std::expected<std::unique_ptr<TimelapseMuxer>, Error> open(
        const LockedMovieFile& file, const AVCodecContext& encoder);
    ~TimelapseMuxer();
    TimelapseMuxer(const TimelapseMuxer&) = delete;
    TimelapseMuxer& operator=(const TimelapseMuxer&) = delete;

    // Writes the packet (times in the encoder's time base) as its own fragment.
    std::expected<void, Error> write(AVPacket& packet);
    // Writes the index of fragments that ends the movie.
    std::expected<void, Error> finish();

  private:
    TimelapseMuxer(const LockedMovieFile& file, AVFormatContext* format,
                   std::unique_ptr<FdAvioContext> io);
    std::expected<void, Error> sync();
    Error failure(int averror) const;

    const LockedMovieFile& file_;
    AVFormatContext* format_;
    std::unique_ptr<FdAvioContext> io_;
    AVStream* stream_ = nullptr;
    int encoderTimeBaseNum_ = 1;
    int encoderTimeBaseDen_ = 1;
};

}  // namespace vx::platform::linux_

#include "platform/linux/media/timelapse/FfmpegMovieWriter.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include "platform/linux/media/timelapse/MovieEncoding.h"
#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"

namespace vx::platform::linux_ {

namespace {

// H.264 levels end at 8192 pixels a side in practice; larger is a mistake.
constexpr int64_t kMaxSide = 8192;

bool plausible(const VideoTrackSettings& settings) {
    // 4:2:0 needs whole chroma samples, so both sides are even.
    const auto side = [](int64_t length) {
        return length >= 2 && length <= kMaxSide && length % 2 == 0;
    };
    return side(settings.width) && side(settings.height) && settings.averageBitRate > 0 &&
           settings.maxKeyFrameInterval >= 1 && settings.timescale >= 1;
}

}  // namespace

FfmpegMovieWriter::FfmpegMovieWriter(LockedMovieFile file) : file_(std::move(file)) {}

bool FfmpegMovieWriter::addVideoTrack(const VideoTrackSettings& settings) {
    if (track_ || started_ || !plausible(settings)) {
        return false;
    }
    track_ = settings;
    return true;
}

bool FfmpegMovieWriter::startWriting() {
    if (started_ || !track_ || !file_) {
        return false;
    }
    started_ = true;
    auto encoding = MovieEncoding::open(std::move(*file_), *track_);
    file_.reset();
    if (!encoding) {
        thread_.fail(encoding.error());
        return false;
    }
    thread_.begin(std::move(*encoding));
    return true;
}

bool FfmpegMovieWriter::isReadyForMoreMediaData() const {
    return !markedFinished_ && thread_.hasRoom();
}

bool FfmpegMovieWriter::append(std::shared_ptr<const PixelBuffer> frame, MediaTime time) {
    if (markedFinished_ || !started_ || !frame || !time.numeric || time.timescale <= 0) {
        return false;
    }
    const VideoTrackSettings& track = *track_;
    if (!TimelapseFrameConverter::fits(*frame, track.width, track.height)) {
        return false;
    }
    const int64_t pts =
        av_rescale_q(time.value, AVRational{1, time.timescale}, AVRational{1, track.timescale});
    // MPEG-4 needs strictly increasing times; a refused frame leaves the last
    // accepted time, so the caller may retry the same time.
    if (lastPts_ && pts <= *lastPts_) {
        return false;
    }
    if (!thread_.submit(std::move(frame), pts)) {
        return false;
    }
    lastPts_ = pts;
    return true;
}

void FfmpegMovieWriter::markAsFinished() {
    markedFinished_ = true;
}

void FfmpegMovieWriter::finishWriting(std::function<void()> handler) {
    markedFinished_ = true;
    thread_.finish(std::move(handler));
}

WriterStatus FfmpegMovieWriter::status() const {
    return thread_.status();
}

std::optional<Error> FfmpegMovieWriter::error() const {
    return thread_.error();
}

void FfmpegMovieWriter::cancelWriting() {
    markedFinished_ = true;
    thread_.cancel();
}

}  // namespace vx::platform::linux_

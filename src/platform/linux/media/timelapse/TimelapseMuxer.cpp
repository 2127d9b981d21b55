#include "platform/linux/media/timelapse/TimelapseMuxer.h"

#include <unistd.h>

#include <cerrno>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "platform/linux/media/FfmpegErrors.h"
#include "platform/linux/media/FragmentedMp4Finisher.h"

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<TimelapseMuxer>, Error> TimelapseMuxer::open(
    const LockedMovieFile& file, const AVCodecContext& encoder) {
    const std::string what = "Cannot write " + file.path().string();
    AVFormatContext* format = nullptr;
    if (const int result = avformat_alloc_output_context2(&format, nullptr, "mp4", nullptr);
        result < 0) {
        return std::unexpected(ffmpegError(result, what));
    }
    auto io = FdAvioContext::forWriting(file.fd());
    auto muxer = std::unique_ptr<TimelapseMuxer>(new TimelapseMuxer(file, format, std::move(io)));
    muxer->stream_ = avformat_new_stream(format, nullptr);
    if (muxer->io_->get() == nullptr || muxer->stream_ == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, what + ": out of memory."});
    }
    format->pb = muxer->io_->get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (const int result = avcodec_parameters_from_context(muxer->stream_->codecpar, &encoder);
        result < 0) {
        return std::unexpected(ffmpegError(result, what));
    }
    muxer->stream_->time_base = encoder.time_base;
    muxer->encoderTimeBaseNum_ = encoder.time_base.num;
    muxer->encoderTimeBaseDen_ = encoder.time_base.den;

    const int result = FragmentedMp4Finisher::writeHeader(format);
    if (result < 0) {
        return std::unexpected(muxer->failure(result));
    }
    if (auto synced = muxer->sync(); !synced) {
        return std::unexpected(synced.error());
    }
    return muxer;
}

TimelapseMuxer::TimelapseMuxer(const LockedMovieFile& file, AVFormatContext* format,
                               std::unique_ptr<FdAvioContext> io)
    : file_(file), format_(format), io_(std::move(io)) {}

TimelapseMuxer::~TimelapseMuxer() {
    avformat_free_context(format_);
}

std::expected<void, Error> TimelapseMuxer::write(AVPacket& packet) {
    packet.stream_index = stream_->index;
    av_packet_rescale_ts(&packet, AVRational{encoderTimeBaseNum_, encoderTimeBaseDen_},
                         stream_->time_base);
    if (const int result = av_write_frame(format_, &packet); result < 0) {
        return std::unexpected(failure(result));
    }
    // A null packet closes the fragment that holds this frame.
    if (const int result = av_write_frame(format_, nullptr); result < 0) {
        return std::unexpected(failure(result));
    }
    return sync();
}

std::expected<void, Error> TimelapseMuxer::finish() {
    if (const int result = av_write_trailer(format_); result < 0) {
        return std::unexpected(failure(result));
    }
    return sync();
}

std::expected<void, Error> TimelapseMuxer::sync() {
    avio_flush(format_->pb);
    if (format_->pb->error < 0) {
        return std::unexpected(failure(format_->pb->error));
    }
    if (::fdatasync(file_.fd()) != 0) {
        return std::unexpected(posixError(errno, "Cannot write " + file_.path().string()));
    }
    return {};
}

Error TimelapseMuxer::failure(int averror) const {
    // The system's reason (a full disk) says more than what libavformat made of it.
    if (io_->failure() != 0) {
        return posixError(io_->failure(), "Cannot write " + file_.path().string());
    }
    return ffmpegError(averror, "Cannot write " + file_.path().string());
}

}  // namespace vx::platform::linux_

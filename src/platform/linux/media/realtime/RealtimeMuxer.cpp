#include "platform/linux/media/realtime/RealtimeMuxer.h"

#include <algorithm>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<RealtimeMuxer>, Error> RealtimeMuxer::open(
    LockedMovieFile file, MovieFileType type, const std::vector<const AVCodecContext*>& tracks) {
    const std::string what = "Cannot write " + file.path().string();
    AVFormatContext* format = nullptr;
    const char* formatName = type == MovieFileType::quickTimeMovie ? "mov" : "mp4";
    if (const int result = avformat_alloc_output_context2(&format, nullptr, formatName, nullptr);
        result < 0) {
        return std::unexpected(ffmpegError(result, what));
    }
    auto io = FdAvioContext::forWriting(file.fd());
    auto muxer =
        std::unique_ptr<RealtimeMuxer>(new RealtimeMuxer(std::move(file), format, std::move(io)));
    if (muxer->io_->get() == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, what + ": out of memory."});
    }
    format->pb = muxer->io_->get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    for (const AVCodecContext* encoder : tracks) {
        AVStream* stream = avformat_new_stream(format, nullptr);
        if (stream == nullptr) {
            return std::unexpected(Error{kFfmpegErrorDomain, 0, what + ": out of memory."});
        }
        if (const int result = avcodec_parameters_from_context(stream->codecpar, encoder);
            result < 0) {
            return std::unexpected(ffmpegError(result, what));
        }
        stream->time_base = encoder->time_base;
        muxer->encoderTimeBases_.push_back({encoder->time_base.num, encoder->time_base.den});
    }
    if (const int result = avformat_write_header(format, nullptr); result < 0) {
        return std::unexpected(muxer->failure(result));
    }
    return muxer;
}

RealtimeMuxer::RealtimeMuxer(LockedMovieFile file, AVFormatContext* format,
                             std::unique_ptr<FdAvioContext> io)
    : file_(std::move(file)), io_(std::move(io)), format_(format) {}

RealtimeMuxer::~RealtimeMuxer() {
    avformat_free_context(format_);
}

std::expected<void, Error> RealtimeMuxer::write(int track, AVPacket& packet) {
    const TimeBase from = encoderTimeBases_.at(size_t(track));
    const int64_t end = av_rescale_q(packet.pts + packet.duration, AVRational{from.num, from.den},
                                     AVRational{1, 1'000'000});
    std::lock_guard lock(mutex_);
    AVStream* stream = format_->streams[track];
    packet.stream_index = track;
    av_packet_rescale_ts(&packet, AVRational{from.num, from.den}, stream->time_base);
    if (const int result = av_interleaved_write_frame(format_, &packet); result < 0) {
        return std::unexpected(failure(result));
    }
    writtenMicroseconds_.store(std::max(writtenMicroseconds_.load(), end));
    writtenBytes_.store(avio_tell(format_->pb));
    return {};
}

std::expected<void, Error> RealtimeMuxer::finish() {
    std::lock_guard lock(mutex_);
    if (const int result = av_write_trailer(format_); result < 0) {
        return std::unexpected(failure(result));
    }
    avio_flush(format_->pb);
    if (format_->pb->error < 0) {
        return std::unexpected(failure(format_->pb->error));
    }
    writtenBytes_.store(avio_size(format_->pb));
    return {};
}

Error RealtimeMuxer::failure(int averror) const {
    // The system's reason (a full disk) says more than what libavformat made of it.
    if (io_->failure() != 0) {
        return posixError(io_->failure(), "Cannot write " + file_.path().string());
    }
    return ffmpegError(averror, "Cannot write " + file_.path().string());
}

}  // namespace vx::platform::linux_

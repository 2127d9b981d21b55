#include "platform/linux/media/realtime/RealtimeMuxer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "platform/linux/media/FfmpegErrors.h"
#include "platform/linux/media/FragmentedMp4Finisher.h"

namespace vx::platform::linux_ {

namespace {

// How much of every track a fragment holds. A crash takes the fragment being
// gathered and what the pipeline still holds: the sound runs about a quarter
// of a second behind the clock, so half-second fragments keep the loss under
// a second.
constexpr int64_t kFragmentMicroseconds = 500'000;

}  // namespace

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
    const int result = FragmentedMp4Finisher::writeHeader(format);
    if (result < 0) {
        return std::unexpected(muxer->failure(result));
    }
    avio_flush(format->pb);
    if (format->pb->error < 0) {
        return std::unexpected(muxer->failure(format->pb->error));
    }
    if (::fdatasync(muxer->file_.fd()) != 0) {
        return std::unexpected(posixError(errno, what));
    }
    muxer->writtenBytes_.store(avio_tell(format->pb));
    muxer->trackEnds_.assign(tracks.size(), 0);
    muxer->fragmentEnd_ = kFragmentMicroseconds;
    muxer->syncs_ = std::make_unique<FileSyncThread>(muxer->file_.fd());
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
    if (firstFailure_) {
        return std::unexpected(*firstFailure_);
    }
    AVStream* stream = format_->streams[track];
    packet.stream_index = track;
    av_packet_rescale_ts(&packet, AVRational{from.num, from.den}, stream->time_base);
    if (const int result = av_interleaved_write_frame(format_, &packet); result < 0) {
        return failed(failure(result));
    }
    trackEnds_[size_t(track)] = end;
    writtenMicroseconds_.store(std::max(writtenMicroseconds_.load(), end));
    return closeFragmentIfDue();
}

std::expected<void, Error> RealtimeMuxer::closeFragmentIfDue() {
    const int64_t reached = *std::min_element(trackEnds_.begin(), trackEnds_.end());
    if (reached < fragmentEnd_) {
        return {};
    }
    // The interleaving holds back only what runs ahead of the slowest track,
    // so the fragment a null packet closes holds every track up to `reached`.
    if (const int result = av_write_frame(format_, nullptr); result < 0) {
        return failed(failure(result));
    }
    avio_flush(format_->pb);
    if (format_->pb->error < 0) {
        return failed(failure(format_->pb->error));
    }
    writtenBytes_.store(avio_tell(format_->pb));
    fragmentEnd_ = (reached / kFragmentMicroseconds + 1) * kFragmentMicroseconds;
    if (const int err = syncs_->failure(); err != 0) {
        return failed(systemFailure(err));
    }
    syncs_->request();
    return {};
}

std::expected<void, Error> RealtimeMuxer::finish() {
    std::lock_guard lock(mutex_);
    if (firstFailure_) {
        return std::unexpected(*firstFailure_);
    }
    if (const int result = av_write_trailer(format_); result < 0) {
        return failed(failure(result));
    }
    avio_flush(format_->pb);
    if (format_->pb->error < 0) {
        return failed(failure(format_->pb->error));
    }
    writtenBytes_.store(avio_size(format_->pb));
    syncs_->request();
    if (const int err = syncs_->stop(); err != 0) {
        return failed(systemFailure(err));
    }
    // Failing here leaves a complete fragmented movie; see the header.
    (void)FragmentedMp4Finisher::finalise(file_);
    return {};
}

std::expected<void, Error> RealtimeMuxer::failed(Error error) {
    if (!firstFailure_) {
        firstFailure_ = error;
        // Whatever follows the last whole fragment is torn: without it the
        // movie plays to its end without a decoding error, and a full disk
        // gets that room back.
        if (::ftruncate(file_.fd(), writtenBytes_.load()) == 0) {
            ::fdatasync(file_.fd());
        }
    }
    return std::unexpected(std::move(error));
}

Error RealtimeMuxer::failure(int averror) const {
    // The system's reason (a full disk) says more than what libavformat made of it.
    if (io_->failure() != 0) {
        return systemFailure(io_->failure());
    }
    return ffmpegError(averror, "Cannot write " + file_.path().string());
}

Error RealtimeMuxer::systemFailure(int err) const {
    return posixError(err, "Cannot write " + file_.path().string());
}

}  // namespace vx::platform::linux_

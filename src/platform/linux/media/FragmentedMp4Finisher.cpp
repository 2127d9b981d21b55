#include "platform/linux/media/FragmentedMp4Finisher.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

#include "platform/linux/media/FdAvioContext.h"
#include "platform/linux/media/FfmpegErrors.h"
#include "platform/linux/media/Mp4BoxScanner.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kCopyMark = ".finishing-";

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputFreer {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;

// The regular movie being written beside the original: hidden, and named so
// that recovery never mistakes it for a movie. Removed unless kept.
class TemporaryFile {
  public:
    static std::expected<TemporaryFile, Error> besides(const std::filesystem::path& original) {
        std::string pattern =
            (original.parent_path() / ("." + original.filename().string() + kCopyMark + "XXXXXX"))
                .string();
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            return std::unexpected(
                posixError(errno, "Cannot create a file beside " + original.string()));
        }
        ::flock(fd, LOCK_EX | LOCK_NB);
        return TemporaryFile(fd, pattern);
    }
    TemporaryFile(TemporaryFile&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(path_.c_str());
        }
    }
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    // Syncs the file and moves it to `target`; afterwards nothing is removed.
    std::expected<void, Error> replace(const std::filesystem::path& target) {
        if (::fsync(fd_) != 0 || ::rename(path_.c_str(), target.c_str()) != 0) {
            return std::unexpected(posixError(errno, "Cannot finish " + target.string()));
        }
        ::close(std::exchange(fd_, -1));
        LockedMovieFile::syncFolderOf(target);
        return {};
    }

  private:
    TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::filesystem::path path_;
};

std::expected<Input, Error> openFragmented(const LockedMovieFile& file, FdAvioContext& io) {
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr || io.get() == nullptr) {
        avformat_free_context(context);
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory."});
    }
    context->pb = io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    // One demuxer reads both QuickTime and MPEG-4. On failure
    // avformat_open_input frees the context itself.
    if (const int result =
            avformat_open_input(&context, nullptr, av_find_input_format("mp4"), nullptr);
        result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot read " + file.path().string()));
    }
    Input input(context);
    // The track headers leave out what the muxer still needs, such as the
    // samples in a sound frame; the first frames tell.
    if (const int result = avformat_find_stream_info(input.get(), nullptr); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot read " + file.path().string()));
    }
    const auto isPictureOrSound = [](const AVStream* stream) {
        const AVMediaType type = stream->codecpar->codec_type;
        return type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
    };
    if (input->nb_streams == 0 ||
        !std::all_of(input->streams, input->streams + input->nb_streams, isPictureOrSound)) {
        return std::unexpected(Error{
            kFfmpegErrorDomain, 0, file.path().string() + " is not a movie of picture and sound."});
    }
    return input;
}

// The container the movie was written in: QuickTime declares itself in the
// major brand of its ftyp box, and the finished movie stays what it was.
const char* containerOf(const AVFormatContext& input) {
    const AVDictionaryEntry* brand = av_dict_get(input.metadata, "major_brand", nullptr, 0);
    return brand != nullptr && std::string_view(brand->value) == "qt  " ? "mov" : "mp4";
}

class Remux {
  public:
    Remux(const LockedMovieFile& original, TemporaryFile& temporary)
        : original_(original),
          temporary_(temporary),
          what_("Cannot finish " + original.path().string()) {}

    std::expected<void, Error> run(AVFormatContext& input) {
        io_ = FdAvioContext::forWriting(temporary_.fd());
        AVFormatContext* context = nullptr;
        if (const int result =
                avformat_alloc_output_context2(&context, nullptr, containerOf(input), nullptr);
            result < 0) {
            return std::unexpected(ffmpegError(result, what_));
        }
        Output output(context);
        if (io_->get() == nullptr) {
            return std::unexpected(Error{kFfmpegErrorDomain, 0, what_ + ": out of memory."});
        }
        for (unsigned i = 0; i < input.nb_streams; ++i) {
            if (auto added = addTrack(*input.streams[i], *context); !added) {
                return added;
            }
        }
        context->pb = io_->get();
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
        // faststart moves the index to the front in a second pass, which
        // reopens the output by name for reading.
        context->url = av_strdup(("file:" + temporary_.path().string()).c_str());

        AVDictionary* options = nullptr;
        av_dict_set(&options, "movflags", "faststart", 0);
        const int opened = avformat_write_header(context, &options);
        av_dict_free(&options);
        if (opened < 0) {
            return std::unexpected(failure(opened));
        }
        auto copied = copyPackets(input, *context);
        if (!copied) {
            return copied;
        }
        if (const int result = av_write_trailer(context); result < 0) {
            return std::unexpected(failure(result));
        }
        avio_flush(context->pb);
        if (context->pb->error < 0) {
            return std::unexpected(failure(context->pb->error));
        }
        return {};
    }

  private:
    std::expected<void, Error> addTrack(const AVStream& source, AVFormatContext& output) {
        AVStream* target = avformat_new_stream(&output, nullptr);
        if (target == nullptr) {
            return std::unexpected(Error{kFfmpegErrorDomain, 0, what_ + ": out of memory."});
        }
        if (const int result = avcodec_parameters_copy(target->codecpar, source.codecpar);
            result < 0) {
            return std::unexpected(ffmpegError(result, what_));
        }
        // The tag of the source container may not exist in the target's.
        target->codecpar->codec_tag = 0;
        target->time_base = source.time_base;
        return {};
    }

    // Frames in the order the fragments hold them; the muxer interleaves the
    // tracks of the regular movie itself.
    std::expected<void, Error> copyPackets(AVFormatContext& input, AVFormatContext& output) {
        Packet packet(av_packet_alloc());
        if (!packet) {
            return std::unexpected(Error{kFfmpegErrorDomain, 0, what_ + ": out of memory."});
        }
        int64_t frames = 0;
        for (;;) {
            const int read = av_read_frame(&input, packet.get());
            if (read == AVERROR_EOF) {
                break;
            }
            if (read < 0) {
                return std::unexpected(
                    ffmpegError(read, "Cannot read " + original_.path().string()));
            }
            const AVStream& source = *input.streams[packet->stream_index];
            const AVStream& target = *output.streams[packet->stream_index];
            av_packet_rescale_ts(packet.get(), source.time_base, target.time_base);
            packet->pos = -1;
            // Takes the packet's contents, leaving it empty for the next read.
            if (const int written = av_interleaved_write_frame(&output, packet.get());
                written < 0) {
                return std::unexpected(failure(written));
            }
            ++frames;
        }
        if (frames == 0) {
            return std::unexpected(
                Error{kFfmpegErrorDomain, 0, original_.path().string() + " holds no frame."});
        }
        return {};
    }

    Error failure(int averror) const {
        if (io_->failure() != 0) {
            return posixError(io_->failure(), what_);
        }
        return ffmpegError(averror, what_);
    }

    const LockedMovieFile& original_;
    TemporaryFile& temporary_;
    std::string what_;
    std::unique_ptr<FdAvioContext> io_;
};

}  // namespace

std::expected<void, Error> FragmentedMp4Finisher::finalise(const LockedMovieFile& file) {
    const Mp4BoxScanner::Fragments whole = Mp4BoxScanner::completeFragments(file.fd());
    if (whole.count == 0) {
        return std::unexpected(
            Error{kFfmpegErrorDomain, 0, file.path().string() + " holds no frame."});
    }
    auto inputIo = FdAvioContext::forReading(file.fd(), whole.completeLength);
    auto input = openFragmented(file, *inputIo);
    if (!input) {
        return std::unexpected(input.error());
    }
    auto temporary = TemporaryFile::besides(file.path());
    if (!temporary) {
        return std::unexpected(temporary.error());
    }
    // The finished movie keeps the permissions the user's umask gave the original.
    struct stat original {};
    if (::fstat(file.fd(), &original) == 0) {
        ::fchmod(temporary->fd(), original.st_mode & 07777);
    }
    auto remuxed = Remux(file, *temporary).run(**input);
    if (!remuxed) {
        return remuxed;
    }
    return temporary->replace(file.path());
}

bool FragmentedMp4Finisher::isCopyName(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    return name.starts_with(".") && name.find(kCopyMark) != std::string::npos;
}

int FragmentedMp4Finisher::writeHeader(AVFormatContext* format) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", kWriterFlags, 0);
    const int result = avformat_write_header(format, &options);
    av_dict_free(&options);
    return result;
}

}  // namespace vx::platform::linux_

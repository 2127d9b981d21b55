#include "platform/linux/media/FdAvioContext.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace vx::platform::linux_ {

namespace {

constexpr int kBufferSize = 64 * 1024;

}  // namespace

std::unique_ptr<FdAvioContext> FdAvioContext::forWriting(int fd) {
    return std::unique_ptr<FdAvioContext>(new FdAvioContext(fd, 0, true));
}

std::unique_ptr<FdAvioContext> FdAvioContext::forReading(int fd, int64_t length) {
    return std::unique_ptr<FdAvioContext>(new FdAvioContext(fd, length, false));
}

FdAvioContext::FdAvioContext(int fd, int64_t length, bool writing) : fd_(fd), length_(length) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
        return;
    }
    context_ = avio_alloc_context(buffer, kBufferSize, writing ? 1 : 0, this,
                                  writing ? nullptr : &FdAvioContext::read,
                                  writing ? &FdAvioContext::write : nullptr, &FdAvioContext::seek);
    if (context_ == nullptr) {
        av_free(buffer);
    }
}

FdAvioContext::~FdAvioContext() {
    if (context_ != nullptr) {
        // libavformat may have replaced the buffer it was given.
        av_freep(&context_->buffer);
        avio_context_free(&context_);
    }
}

int FdAvioContext::read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<FdAvioContext*>(opaque);
    const int64_t wanted = std::min<int64_t>(size, self->length_ - self->position_);
    if (wanted <= 0) {
        return AVERROR_EOF;
    }
    ssize_t got;
    do {
        got = ::pread(self->fd_, buffer, size_t(wanted), self->position_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        self->failure_ = self->failure_ ? self->failure_ : errno;
        return AVERROR(errno);
    }
    if (got == 0) {
        return AVERROR_EOF;
    }
    self->position_ += got;
    return int(got);
}

int FdAvioContext::write(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<FdAvioContext*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t wrote =
            ::pwrite(self->fd_, buffer + done, size_t(size - done), self->position_ + done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            const int err = wrote < 0 ? errno : EIO;
            self->failure_ = self->failure_ ? self->failure_ : err;
            return AVERROR(err);
        }
        done += int(wrote);
    }
    self->position_ += done;
    self->length_ = std::max(self->length_, self->position_);
    return done;
}

int64_t FdAvioContext::seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<FdAvioContext*>(opaque);
    int64_t target;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return self->length_;
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = self->position_ + offset;
            break;
        case SEEK_END:
            target = self->length_ + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0) {
        return AVERROR(EINVAL);
    }
    self->position_ = target;
    return target;
}

}  // namespace vx::platform::linux_

#include "platform/linux/media/timelapse/EncoderThread.h"

#include <malloc.h>
#include <pthread.h>

#include <expected>
#include <utility>

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

// Named, so that a profiler tells it apart; x264's own threads take its name.
EncoderThread::EncoderThread() : thread_(&EncoderThread::run, this) {
    pthread_setname_np(thread_.native_handle(), "vx tl encoder");
}

EncoderThread::~EncoderThread() {
    if (std::this_thread::get_id() == thread_.get_id()) {
        // Called from the finish handler: run() touches nothing of ours after
        // the handler returns, so the thread may simply end on its own.
        thread_.detach();
        return;
    }
    stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void EncoderThread::begin(std::unique_ptr<MovieEncoding> encoding) {
    std::lock_guard lock(mutex_);
    movie_ = std::move(encoding);
    status_ = WriterStatus::writing;
}

void EncoderThread::fail(Error error) {
    std::lock_guard lock(mutex_);
    status_ = WriterStatus::failed;
    error_ = std::move(error);
}

bool EncoderThread::hasRoom() const {
    std::lock_guard lock(mutex_);
    return status_ == WriterStatus::writing && !finishHandler_ && !cancelled_ &&
           waiting_.size() + (encoding_ ? 1 : 0) < kMaxFramesInHand;
}

bool EncoderThread::submit(std::shared_ptr<const PixelBuffer> frame, int64_t pts) {
    {
        std::lock_guard lock(mutex_);
        if (status_ != WriterStatus::writing || finishHandler_ || cancelled_ ||
            waiting_.size() + (encoding_ ? 1 : 0) >= kMaxFramesInHand) {
            return false;
        }
        waiting_.push_back(Frame{std::move(frame), pts});
    }
    wake_.notify_one();
    return true;
}

void EncoderThread::finish(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    if (finishHandler_ || cancelled_) {
        return;
    }
    finishHandler_ = std::move(handler);
    // Under the lock: the finish handler may destroy this object as soon as
    // the thread gets going, so nothing may touch it after the unlock.
    wake_.notify_one();
}

void EncoderThread::cancel() {
    stop();
    if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) {
        thread_.join();
    }
}

void EncoderThread::stop() {
    {
        std::lock_guard lock(mutex_);
        if (finishHandler_ || cancelled_) {
            return;
        }
        cancelled_ = true;
        waiting_.clear();
        status_ = WriterStatus::cancelled;
    }
    wake_.notify_one();
}

int64_t EncoderThread::encodedFrameCount() const {
    std::lock_guard lock(mutex_);
    return encodedFrames_;
}

WriterStatus EncoderThread::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::optional<Error> EncoderThread::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void EncoderThread::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return cancelled_ || finishHandler_ || !waiting_.empty(); });
        if (cancelled_) {
            lock.unlock();
            // Closes the file unfinished: what is on disk stays a playable
            // fragmented movie for recovery.
            closeMovie();
            return;
        }
        if (waiting_.empty()) {
            lock.unlock();
            finishOnThisThread();
            return;
        }
        Frame frame = std::move(waiting_.front());
        waiting_.pop_front();
        encoding_ = true;
        lock.unlock();
        encode(frame);
        frame.image.reset();
        lock.lock();
        encoding_ = false;
    }
}

void EncoderThread::encode(const Frame& frame) {
    auto encoded = movie_->encode(*frame.image, frame.pts);
    std::lock_guard lock(mutex_);
    if (encoded) {
        ++encodedFrames_;
    } else {
        status_ = WriterStatus::failed;
        error_ = encoded.error();
        waiting_.clear();
    }
}

void EncoderThread::closeMovie() {
    movie_.reset();
    // The encoder's buffers, tens of megabytes, stay with the C library once freed,
    // spread over the arenas of threads that are gone; without this every
    // recording would leave the program larger.
    malloc_trim(0);
}

void EncoderThread::finishOnThisThread() {
    std::expected<void, Error> result;
    if (status() == WriterStatus::writing) {
        result = movie_->finish();
    }
    closeMovie();
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (status_ == WriterStatus::writing) {
            status_ = result ? WriterStatus::completed : WriterStatus::failed;
            if (!result) {
                error_ = result.error();
            }
        } else if (status_ == WriterStatus::unknown) {
            status_ = WriterStatus::failed;
            error_ = Error{kFfmpegErrorDomain, 0, "The movie was never started."};
        }
        handler = std::move(*finishHandler_);
    }
    // The handler may destroy this object; nothing here may run after it.
    if (handler) {
        handler();
    }
}

}  // namespace vx::platform::linux_

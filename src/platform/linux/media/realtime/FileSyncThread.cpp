#include "platform/linux/media/realtime/FileSyncThread.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>

namespace vx::platform::linux_ {

FileSyncThread::FileSyncThread(int fd) : fd_(fd), thread_([this] { run(); }) {
    pthread_setname_np(thread_.native_handle(), "vx file sync");
}

FileSyncThread::~FileSyncThread() {
    stop();
}

int FileSyncThread::stop() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
    return failure();
}

void FileSyncThread::request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    wake_.notify_one();
}

int FileSyncThread::failure() {
    std::lock_guard lock(mutex_);
    return failure_;
}

void FileSyncThread::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || ending_; });
        if (!requested_) {
            return;
        }
        requested_ = false;
        lock.unlock();
        const int synced = ::fdatasync(fd_);
        const int err = errno;
        lock.lock();
        if (synced != 0 && failure_ == 0) {
            failure_ = err;
        }
    }
}

}  // namespace vx::platform::linux_

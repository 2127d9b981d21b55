#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace vx::platform::linux_ {

// Puts what was written to a file on disk (fdatasync) on a thread of its own,
// so that the encoders writing the file never wait for the disk: a sync can
// take a good part of a second on a busy disk, longer than the frames queued
// ahead of the encoder last.
class FileSyncThread {
  public:
    // `fd` must stay open for as long as this lives.
    explicit FileSyncThread(int fd);
    // Stops, unless stopped already.
    ~FileSyncThread();
    FileSyncThread(const FileSyncThread&) = delete;
    FileSyncThread& operator=(const FileSyncThread&) = delete;

    // Any thread, without waiting: syncs everything written so far. Asks made
    // while a sync runs are served together by the next one.
    void request();
    // errno of the first sync that failed; 0 while none did.
    int failure();
    // Runs the sync still asked for, ends the thread, and returns failure().
    int stop();

  private:
    void run();

    const int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_.
    bool requested_ = false;
    bool ending_ = false;
    int failure_ = 0;
    // Last member: started once the rest is set up.
    std::thread thread_;
};

}  // namespace vx::platform::linux_

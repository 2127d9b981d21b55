#pragma once

#include <cstdint>
#include <memory>

struct AVIOContext;

namespace vx::platform::linux_ {

// libavformat I/O over a file descriptor we opened (and locked) ourselves, so
// that writes land in exactly that file, every failure keeps its errno, and
// the caller can fsync the same descriptor.
class FdAvioContext {
  public:
    // Writes from offset 0 of `fd`.
    static std::unique_ptr<FdAvioContext> forWriting(int fd);
    // Reads the first `length` bytes of `fd`, as if the file ended there.
    static std::unique_ptr<FdAvioContext> forReading(int fd, int64_t length);
    ~FdAvioContext();
    FdAvioContext(const FdAvioContext&) = delete;
    FdAvioContext& operator=(const FdAvioContext&) = delete;

    // Null only when memory ran out.
    AVIOContext* get() const { return context_; }
    // errno of the first failed read or write; 0 while none failed.
    int failure() const { return failure_; }

  private:
    FdAvioContext(int fd, int64_t length, bool writing);
    static int read(void* opaque, uint8_t* buffer, int size);
    static int write(void* opaque, uint8_t* buffer, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    int fd_;
    int64_t length_;  // reading: where the file ends for us; writing: bytes so far
    int64_t position_ = 0;
    int failure_ = 0;
    AVIOContext* context_ = nullptr;
};

}  // namespace vx::platform::linux_

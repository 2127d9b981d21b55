#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/MovieWriter.h"
#include "platform/Types.h"
#include "platform/linux/media/timelapse/MovieEncoding.h"

namespace vx::platform::linux_ {

// The thread that does a writer's work, so that the capture queue only hands
// frames over. It also owns the writer's status: frames fail here, the finish
// completes here, and status()/error() may be read from any thread.
class EncoderThread {
  public:
    // Idle until begin(); a finish before that fails.
    EncoderThread();
    // Cancels unless a finish was asked for, which it then waits for. Safe from
    // the finish handler itself, which is how owners often drop their writer.
    ~EncoderThread();
    EncoderThread(const EncoderThread&) = delete;
    EncoderThread& operator=(const EncoderThread&) = delete;

    void begin(std::unique_ptr<MovieEncoding> encoding);
    // The writing could not begin.
    void fail(Error error);

    // Room for one more frame: true while writing and at most one frame is
    // being encoded with none waiting.
    bool hasRoom() const;
    // False, and the frame is not taken, when there is no room.
    bool submit(std::shared_ptr<const PixelBuffer> frame, int64_t pts);
    // `handler` runs once, on this thread, after the outcome is set.
    void finish(std::function<void()> handler);
    // Drops waiting frames and closes the file unfinished; waits for the frame
    // being encoded. Does nothing once a finish was asked for.
    void cancel();

    WriterStatus status() const;
    std::optional<Error> error() const;
    int64_t encodedFrameCount() const;

  private:
    struct Frame {
        std::shared_ptr<const PixelBuffer> image;
        int64_t pts = 0;
    };
    static constexpr size_t kMaxFramesInHand = 2;  // one encoding, one waiting

    void run();
    void encode(const Frame& frame);
    void finishOnThisThread();
    void closeMovie();
    void stop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_.
    WriterStatus status_ = WriterStatus::unknown;
    std::optional<Error> error_;
    // Each frame is its own synced fragment, and zero-latency encoding hands
    // every frame's packet over at once: a frame encoded is a frame on disk.
    int64_t encodedFrames_ = 0;
    std::deque<Frame> waiting_;
    bool encoding_ = false;  // a frame is out of waiting_ and in the encoder
    bool cancelled_ = false;
    std::optional<std::function<void()>> finishHandler_;
    // Only the encoder thread touches the encoding after begin().
    std::unique_ptr<MovieEncoding> movie_;
    std::thread thread_;
};

}  // namespace vx::platform::linux_

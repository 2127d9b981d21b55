#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

struct AVFrame;

namespace vx::platform::linux_ {

struct AvFrameFree {
    void operator()(AVFrame* frame) const;
};
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;

// Pictures on their way from capture to the encoder. It holds at most `depth`
// of them: a picture that finds it full is dropped, because a recording that
// falls behind must lose frames, not memory and then seconds of delay.
class FrameQueue {
  public:
    explicit FrameQueue(size_t depth) : depth_(depth) {}

    // False, and the frame is gone, when the queue is full or closed.
    bool offer(AvFramePtr frame);
    // The oldest frame, waiting for one; none once closed and empty.
    std::optional<AvFramePtr> take();
    // No more frames come; take() hands out what is left, then none.
    void close();

  private:
    const size_t depth_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<AvFramePtr> frames_;  // guarded by mutex_
    bool closed_ = false;            // guarded by mutex_
};

}  // namespace vx::platform::linux_

#include "platform/linux/media/realtime/FrameQueue.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vx::platform::linux_ {

void AvFrameFree::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

bool FrameQueue::offer(AvFramePtr frame) {
    {
        std::lock_guard lock(mutex_);
        if (closed_ || frames_.size() >= depth_) {
            return false;
        }
        frames_.push_back(std::move(frame));
    }
    arrived_.notify_one();
    return true;
}

std::optional<AvFramePtr> FrameQueue::take() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [this] { return closed_ || !frames_.empty(); });
    if (frames_.empty()) {
        return std::nullopt;
    }
    AvFramePtr frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
}

void FrameQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    arrived_.notify_all();
}

}  // namespace vx::platform::linux_

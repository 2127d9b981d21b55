#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>

#include "platform/Types.h"
#include "platform/linux/media/realtime/FrameQueue.h"

namespace vx::platform::linux_ {

struct VideoCaptureSettings {
    uint32_t displayID = 0;
    int width = 0;  // of the recorded picture
    int height = 0;
    bool showsCursor = true;
    bool showsClicks = true;
    int frameRate = 60;  // pictures a second, at most
};

// One display's pictures for a recording, taken on request with the pointer
// drawn in and scaled to the recording's size. Used by one thread at a time.
class VideoCapture {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~VideoCapture() = default;
    // The picture as it is now.
    virtual std::expected<AvFramePtr, Error> capture(Clock::time_point now) = 0;
};

// Fails when the display cannot be reached.
using VideoCaptureOpener = std::function<std::expected<std::unique_ptr<VideoCapture>, Error>(
    const VideoCaptureSettings& settings)>;

}  // namespace vx::platform::linux_

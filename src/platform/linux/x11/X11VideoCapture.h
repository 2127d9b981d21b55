#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "platform/Types.h"
#include "platform/linux/media/realtime/FrameQueue.h"
#include "platform/linux/media/realtime/RealtimeFrameScaler.h"
#include "platform/linux/media/realtime/VideoCapture.h"
#include "platform/linux/x11/ClickMarker.h"
#include "platform/linux/x11/X11Monitors.h"
#include "platform/linux/x11/X11Session.h"

namespace vx::platform::linux_ {

// An X display's pictures, taken through the same shared-memory path as
// screenshots, with click rings drawn in too. It has its own connection to the
// X server (the one DISPLAY names), so it never waits behind a screenshot.
class X11VideoCapture : public VideoCapture {
  public:
    // Fails when the X server cannot be reached or the display is not there.
    static std::expected<std::unique_ptr<VideoCapture>, Error> open(
        const VideoCaptureSettings& settings);

    std::expected<AvFramePtr, Error> capture(Clock::time_point now) override;

  private:
    X11VideoCapture(const VideoCaptureSettings& settings, std::unique_ptr<X11Session> session);
    // Where the display is; asked again every second, so that a display that
    // was unplugged or resized is noticed without a server round trip per frame.
    std::expected<void, Error> locate(Clock::time_point now);

    const VideoCaptureSettings settings_;
    std::unique_ptr<X11Session> session_;
    ClickMarker clicks_;
    X11Monitor monitor_;
    std::optional<Clock::time_point> locatedAt_;
    std::unique_ptr<RealtimeFrameScaler> scaler_;
};

}  // namespace vx::platform::linux_

#pragma once

#include <expected>
#include <memory>

#include "platform/linux/media/realtime/RealtimeFrameScaler.h"
#include "platform/linux/media/realtime/VideoCapture.h"
#include "platform/linux/wayland/ScreenCasts.h"

namespace vx::platform::linux_ {

// A Wayland display's pictures for a recording, from a screen cast of its own
// that ends with the recording. The compositor draws the pointer in; click
// rings are not drawn, since Wayland tells no client where the pointer is.
class ScreenCastVideoCapture : public VideoCapture {
  public:
    // Fails when the display's consent is missing or the cast cannot be opened.
    static std::expected<std::unique_ptr<VideoCapture>, Error> open(
        ScreenCasts& casts, const VideoCaptureSettings& settings);

    // The newest picture the compositor sent, again when nothing has changed.
    std::expected<AvFramePtr, Error> capture(Clock::time_point now) override;

  private:
    ScreenCastVideoCapture(const VideoCaptureSettings& settings, std::unique_ptr<ScreenCast> cast);
    std::expected<AvFramePtr, Error> convert(const PixelBuffer& screen);

    const VideoCaptureSettings settings_;
    std::unique_ptr<ScreenCast> cast_;
    std::unique_ptr<RealtimeFrameScaler> scaler_;
    std::shared_ptr<const PixelBuffer> converted_;  // the picture last_ was made of
    AvFramePtr last_;
};

}  // namespace vx::platform::linux_

#include "platform/linux/wayland/ScreenCastVideoCapture.h"

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<VideoCapture>, Error> ScreenCastVideoCapture::open(
    ScreenCasts& casts, const VideoCaptureSettings& settings) {
    auto cast = casts.open(settings.displayID, settings.showsCursor, settings.frameRate);
    if (!cast) {
        return std::unexpected(cast.error());
    }
    std::unique_ptr<ScreenCastVideoCapture> capture(
        new ScreenCastVideoCapture(settings, std::move(*cast)));
    // A cast that sends nothing fails the start, not the recording.
    if (auto first = capture->capture(Clock::now()); !first) {
        return std::unexpected(first.error());
    }
    return capture;
}

ScreenCastVideoCapture::ScreenCastVideoCapture(const VideoCaptureSettings& settings,
                                               std::unique_ptr<ScreenCast> cast)
    : settings_(settings), cast_(std::move(cast)) {}

std::expected<AvFramePtr, Error> ScreenCastVideoCapture::capture(Clock::time_point) {
    auto picture = cast_->stream->newest();
    if (!picture) {
        return std::unexpected(picture.error());
    }
    // The compositor sends a picture only when the screen changed: until the
    // next one, each frame shares the last one's pixels instead of converting
    // them again.
    if (*picture != converted_ || !last_) {
        auto frame = convert(**picture);
        if (!frame) {
            return frame;
        }
        last_ = std::move(*frame);
        converted_ = std::move(*picture);
    }
    AvFramePtr again(av_frame_clone(last_.get()));
    if (!again) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for a video frame."});
    }
    return again;
}

std::expected<AvFramePtr, Error> ScreenCastVideoCapture::convert(const PixelBuffer& screen) {
    const int width = int(screen.width);
    const int height = int(screen.height);
    // The monitor may change its mode while it is cast.
    if (auto fitted =
            RealtimeFrameScaler::fit(scaler_, width, height, settings_.width, settings_.height);
        !fitted) {
        return std::unexpected(fitted.error());
    }
    return scaler_->convert({screen.bytes.data(), width, height, screen.stride});
}

}  // namespace vx::platform::linux_

#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"

#include <limits>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/linux/media/BgraToYuv.h"
#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

namespace {
constexpr int kBytesPerPixel = 4;
}  // namespace

std::expected<std::unique_ptr<TimelapseFrameConverter>, Error> TimelapseFrameConverter::open(
    int width, int height) {
    SwsContext* scaler = BgraToYuv::makeContext(width, height, width, height);
    if (scaler == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0,
                                     "Cannot convert " + std::to_string(width) + "×" +
                                         std::to_string(height) + " images for H.264."});
    }
    auto picture = BgraToYuv::allocateFrame(width, height);
    if (!picture) {
        sws_freeContext(scaler);
        return std::unexpected(picture.error());
    }
    return std::unique_ptr<TimelapseFrameConverter>(
        new TimelapseFrameConverter(width, height, scaler, *picture));
}

TimelapseFrameConverter::TimelapseFrameConverter(int width, int height, SwsContext* scaler,
                                                 AVFrame* picture)
    : width_(width), height_(height), scaler_(scaler), picture_(picture) {}

TimelapseFrameConverter::~TimelapseFrameConverter() {
    av_frame_free(&picture_);
    sws_freeContext(scaler_);
}

bool TimelapseFrameConverter::fits(const PixelBuffer& image, int64_t width, int64_t height) {
    const int64_t rowBytes = width * kBytesPerPixel;
    return image.width == width && image.height == height && height >= 1 &&
           image.stride >= rowBytes && image.stride <= std::numeric_limits<int>::max() &&
           int64_t(image.bytes.size()) >= image.stride * (height - 1) + rowBytes;
}

std::expected<AVFrame*, Error> TimelapseFrameConverter::convert(const PixelBuffer& image) {
    if (const int result = av_frame_make_writable(picture_); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot allocate a video frame"));
    }
    BgraToYuv::scale(scaler_, {image.bytes.data(), width_, height_, image.stride}, tail_, picture_);
    return picture_;
}

}  // namespace vx::platform::linux_

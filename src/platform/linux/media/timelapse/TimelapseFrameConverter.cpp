#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/linux/media/BgraToYuv.h"
#include "platform/linux/media/BgrxToYuv420.h"
#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

namespace {
constexpr int kBytesPerPixel = 4;
}  // namespace

std::expected<std::unique_ptr<TimelapseFrameConverter>, Error> TimelapseFrameConverter::open(
    int width, int height) {
    auto picture = BgraToYuv::allocateFrame(width, height);
    if (!picture) {
        return std::unexpected(picture.error());
    }
    return std::unique_ptr<TimelapseFrameConverter>(
        new TimelapseFrameConverter(width, height, *picture));
}

TimelapseFrameConverter::TimelapseFrameConverter(int width, int height, AVFrame* picture)
    : width_(width), height_(height), picture_(picture) {}

TimelapseFrameConverter::~TimelapseFrameConverter() {
    av_frame_free(&picture_);
}

bool TimelapseFrameConverter::fits(const PixelBuffer& image, int64_t width, int64_t height) {
    const int64_t rowBytes = width * kBytesPerPixel;
    return image.width == width && image.height == height && height >= 1 &&
           image.stride >= rowBytes &&
           int64_t(image.bytes.size()) >= image.stride * (height - 1) + rowBytes;
}

std::expected<AVFrame*, Error> TimelapseFrameConverter::convert(const PixelBuffer& image) {
    if (const int result = av_frame_make_writable(picture_); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot allocate a video frame"));
    }
    BgrxToYuv420::convert({image.bytes.data(), width_, height_, image.stride}, picture_);
    return picture_;
}

}  // namespace vx::platform::linux_

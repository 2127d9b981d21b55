#include "platform/linux/media/realtime/RealtimeFrameScaler.h"

#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/linux/media/BgraToYuv.h"
#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

std::expected<void, Error> RealtimeFrameScaler::fit(std::unique_ptr<RealtimeFrameScaler>& scaler,
                                                    int sourceWidth, int sourceHeight, int width,
                                                    int height) {
    if (scaler && scaler->takes(sourceWidth, sourceHeight)) {
        return {};
    }
    auto opened = open(sourceWidth, sourceHeight, width, height);
    if (!opened) {
        return std::unexpected(opened.error());
    }
    scaler = std::move(*opened);
    return {};
}

std::expected<std::unique_ptr<RealtimeFrameScaler>, Error> RealtimeFrameScaler::open(
    int sourceWidth, int sourceHeight, int width, int height) {
    // The last rows go through swscale as a slice of their own (BgraToYuv::scale);
    // shrunk more than about sixty times, its vertical filter outgrows such a slice
    // and it reads out of bounds, so much smaller pictures are refused here.
    constexpr int kLargestShrink = 32;
    const bool shrinksTooFar =
        width * kLargestShrink < sourceWidth || height * kLargestShrink < sourceHeight;
    SwsContext* scaler =
        shrinksTooFar ? nullptr : BgraToYuv::makeContext(sourceWidth, sourceHeight, width, height);
    if (scaler == nullptr || sourceHeight < BgraToYuv::kMinimumHeight) {
        sws_freeContext(scaler);
        return std::unexpected(Error{kFfmpegErrorDomain, 0,
                                     "Cannot record the screen at " + std::to_string(width) +
                                         " × " + std::to_string(height) + " pixels."});
    }
    return std::unique_ptr<RealtimeFrameScaler>(
        new RealtimeFrameScaler(sourceWidth, sourceHeight, width, height, scaler));
}

RealtimeFrameScaler::RealtimeFrameScaler(int sourceWidth, int sourceHeight, int width, int height,
                                         SwsContext* scaler)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      width_(width),
      height_(height),
      scaler_(scaler) {}

RealtimeFrameScaler::~RealtimeFrameScaler() {
    sws_freeContext(scaler_);
}

std::expected<AvFramePtr, Error> RealtimeFrameScaler::convert(ConstImageView source) {
    auto allocated = BgraToYuv::allocateFrame(width_, height_);
    if (!allocated) {
        return std::unexpected(allocated.error());
    }
    AvFramePtr picture(*allocated);
    BgraToYuv::scale(scaler_, {source.pixels, sourceWidth_, sourceHeight_, source.stride}, tail_,
                     picture.get());
    return picture;
}

}  // namespace vx::platform::linux_

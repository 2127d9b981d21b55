#include "platform/linux/media/realtime/RealtimeFrameScaler.h"

#include <string>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/linux/media/BgraToYuv.h"
#include "platform/linux/media/BgrxToYuv420.h"
#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

namespace {

// Rows start on a 64-byte boundary: the encoder's and swscale's vector code
// read whole vectors.
constexpr int kRowAlignment = 64;
constexpr AVPixelFormat kPictureFormat = AV_PIX_FMT_YUV420P;

}  // namespace

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
    const Error refused{kFfmpegErrorDomain, 0,
                        "Cannot record the screen at " + std::to_string(width) + " × " +
                            std::to_string(height) + " pixels."};
    const int bytes = av_image_get_buffer_size(kPictureFormat, width, height, kRowAlignment);
    if (bytes <= 0 || sourceHeight < BgraToYuv::kMinimumHeight) {
        return std::unexpected(refused);
    }
    SwsContext* scaler = nullptr;
    const bool sameSize = width == sourceWidth && height == sourceHeight;
    if (!sameSize) {
        // The last rows go through swscale as a slice of their own (BgraToYuv::scale);
        // shrunk more than about sixty times, its vertical filter outgrows such a slice
        // and it reads out of bounds, so much smaller pictures are refused here.
        constexpr int kLargestShrink = 32;
        const bool shrinksTooFar =
            width * kLargestShrink < sourceWidth || height * kLargestShrink < sourceHeight;
        scaler = shrinksTooFar ? nullptr
                               : BgraToYuv::makeContext(sourceWidth, sourceHeight, width, height);
        if (scaler == nullptr) {
            return std::unexpected(refused);
        }
    }
    AVBufferPool* pool = av_buffer_pool_init(size_t(bytes), av_buffer_alloc);
    if (pool == nullptr) {
        sws_freeContext(scaler);
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for video frames."});
    }
    return std::unique_ptr<RealtimeFrameScaler>(
        new RealtimeFrameScaler(sourceWidth, sourceHeight, width, height, scaler, pool));
}

RealtimeFrameScaler::RealtimeFrameScaler(int sourceWidth, int sourceHeight, int width, int height,
                                         SwsContext* scaler, AVBufferPool* pool)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      width_(width),
      height_(height),
      scaler_(scaler),
      pool_(pool) {}

RealtimeFrameScaler::~RealtimeFrameScaler() {
    sws_freeContext(scaler_);
    av_buffer_pool_uninit(&pool_);
}

std::expected<AvFramePtr, Error> RealtimeFrameScaler::pooledFrame() {
    AvFramePtr picture(av_frame_alloc());
    if (picture) {
        picture->buf[0] = av_buffer_pool_get(pool_);
    }
    if (!picture || picture->buf[0] == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for a video frame."});
    }
    BgraToYuv::describe(picture.get(), width_, height_);
    av_image_fill_arrays(picture->data, picture->linesize, picture->buf[0]->data, kPictureFormat,
                         width_, height_, kRowAlignment);
    return picture;
}

std::expected<AvFramePtr, Error> RealtimeFrameScaler::convert(ConstImageView source) {
    auto picture = pooledFrame();
    if (!picture) {
        return picture;
    }
    if (scaler_ == nullptr) {
        BgrxToYuv420::convert(source, picture->get());
    } else {
        BgraToYuv::scale(scaler_, {source.pixels, sourceWidth_, sourceHeight_, source.stride},
                         tail_, picture->get());
    }
    return picture;
}

}  // namespace vx::platform::linux_

#include "platform/linux/FrameScaler.h"

#include <cstring>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/linux/FfmpegErrors.h"

namespace vx::platform::linux_ {

namespace {

constexpr int kBytesPerPixel = 4;
// swscale's vector code may read a little past the last pixel of a row. Inside
// the image that is the next row, but the last rows end where the screen's
// shared memory ends, so they go through a padded copy. Two rows, because 4:2:0
// chroma is made from pairs of rows.
constexpr int kTailRows = 2;
constexpr int kTailPadding = 64;

}  // namespace

std::expected<std::unique_ptr<FrameScaler>, Error> FrameScaler::open(int sourceWidth,
                                                                     int sourceHeight, int width,
                                                                     int height) {
    SwsContext* scaler =
        sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, width, height,
                       AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler == nullptr || sourceHeight < kTailRows) {
        sws_freeContext(scaler);
        return std::unexpected(Error{kFfmpegErrorDomain, 0,
                                     "Cannot record the screen at " + std::to_string(width) +
                                         " × " + std::to_string(height) + " pixels."});
    }
    // Screen pixels are full-range RGB; the movie is BT.709 limited range.
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    return std::unique_ptr<FrameScaler>(
        new FrameScaler(sourceWidth, sourceHeight, width, height, scaler));
}

FrameScaler::FrameScaler(int sourceWidth, int sourceHeight, int width, int height,
                         SwsContext* scaler)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      width_(width),
      height_(height),
      scaler_(scaler),
      tail_((size_t(sourceWidth) * kBytesPerPixel + kTailPadding) * kTailRows) {}

FrameScaler::~FrameScaler() {
    sws_freeContext(scaler_);
}

std::expected<AvFramePtr, Error> FrameScaler::convert(ConstImageView source) {
    AvFramePtr picture(av_frame_alloc());
    if (!picture) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for a video frame."});
    }
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width_;
    picture->height = height_;
    picture->color_range = AVCOL_RANGE_MPEG;
    picture->colorspace = AVCOL_SPC_BT709;
    picture->color_primaries = AVCOL_PRI_BT709;
    picture->color_trc = AVCOL_TRC_BT709;
    if (const int result = av_frame_get_buffer(picture.get(), 0); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot allocate a video frame"));
    }
    const int bodyRows = sourceHeight_ - kTailRows;
    if (bodyRows > 0) {
        const uint8_t* body[1] = {source.pixels};
        int bodyStride[1] = {int(source.stride)};
        sws_scale(scaler_, body, bodyStride, 0, bodyRows, picture->data, picture->linesize);
    }

    const size_t rowBytes = size_t(sourceWidth_) * kBytesPerPixel;
    const size_t tailStride = rowBytes + kTailPadding;
    for (int row = 0; row < kTailRows; ++row) {
        std::memcpy(tail_.data() + tailStride * row,
                    source.pixels + source.stride * (bodyRows + row), rowBytes);
    }
    const uint8_t* tail[1] = {tail_.data()};
    int tailStrides[1] = {int(tailStride)};
    sws_scale(scaler_, tail, tailStrides, bodyRows, kTailRows, picture->data, picture->linesize);
    return picture;
}

}  // namespace vx::platform::linux_

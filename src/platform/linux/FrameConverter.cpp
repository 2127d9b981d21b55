#include "platform/linux/FrameConverter.h"

#include <cstring>
#include <limits>

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
// the image that is the next row's bytes, but the last rows end where the
// caller's allocation ends, so they go through a padded copy. Two rows, because
// 4:2:0 chroma is made from pairs of rows.
constexpr int kTailRows = 2;
constexpr int kTailPadding = 64;

}  // namespace

std::expected<std::unique_ptr<FrameConverter>, Error> FrameConverter::open(int width, int height) {
    SwsContext* scaler =
        sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P,
                       SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0,
                                     "Cannot convert " + std::to_string(width) + "×" +
                                         std::to_string(height) + " images for H.264."});
    }
    // Screen pixels are full-range RGB; the movie is BT.709 limited range.
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);

    AVFrame* picture = av_frame_alloc();
    if (picture == nullptr) {
        sws_freeContext(scaler);
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for a video frame."});
    }
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    picture->color_range = AVCOL_RANGE_MPEG;
    picture->colorspace = AVCOL_SPC_BT709;
    picture->color_primaries = AVCOL_PRI_BT709;
    picture->color_trc = AVCOL_TRC_BT709;
    if (const int result = av_frame_get_buffer(picture, 0); result < 0) {
        av_frame_free(&picture);
        sws_freeContext(scaler);
        return std::unexpected(ffmpegError(result, "Cannot allocate a video frame"));
    }
    return std::unique_ptr<FrameConverter>(new FrameConverter(width, height, scaler, picture));
}

FrameConverter::FrameConverter(int width, int height, SwsContext* scaler, AVFrame* picture)
    : width_(width),
      height_(height),
      scaler_(scaler),
      picture_(picture),
      tail_((size_t(width) * kBytesPerPixel + kTailPadding) * kTailRows) {}

FrameConverter::~FrameConverter() {
    av_frame_free(&picture_);
    sws_freeContext(scaler_);
}

bool FrameConverter::fits(const PixelBuffer& image, int64_t width, int64_t height) {
    const int64_t rowBytes = width * kBytesPerPixel;
    return image.width == width && image.height == height && height >= 1 &&
           image.stride >= rowBytes && image.stride <= std::numeric_limits<int>::max() &&
           int64_t(image.bytes.size()) >= image.stride * (height - 1) + rowBytes;
}

std::expected<AVFrame*, Error> FrameConverter::convert(const PixelBuffer& image) {
    if (const int result = av_frame_make_writable(picture_); result < 0) {
        return std::unexpected(ffmpegError(result, "Cannot allocate a video frame"));
    }
    const int stride = int(image.stride);
    const int bodyRows = height_ - kTailRows;
    if (bodyRows > 0) {
        const uint8_t* body[1] = {image.bytes.data()};
        int bodyStride[1] = {stride};
        sws_scale(scaler_, body, bodyStride, 0, bodyRows, picture_->data, picture_->linesize);
    }
    const size_t rowBytes = size_t(width_) * kBytesPerPixel;
    const size_t tailStride = rowBytes + kTailPadding;
    for (int row = 0; row < kTailRows; ++row) {
        std::memcpy(tail_.data() + tailStride * row,
                    image.bytes.data() + size_t(stride) * size_t(bodyRows + row), rowBytes);
    }
    const uint8_t* tailPlanes[1] = {tail_.data()};
    int tailStrides[1] = {int(tailStride)};
    sws_scale(scaler_, tailPlanes, tailStrides, bodyRows, kTailRows, picture_->data,
              picture_->linesize);
    return picture_;
}

}  // namespace vx::platform::linux_

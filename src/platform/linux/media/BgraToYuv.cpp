#include "platform/linux/media/BgraToYuv.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

namespace {

constexpr int kBytesPerPixel = 4;
// swscale's vector code may read a little past the last pixel of a row. Inside
// the image that is the next row's bytes, but the last rows end where the
// caller's memory ends, so they go through a padded copy. Two rows, because
// 4:2:0 chroma is made from pairs of rows.
constexpr int kTailRows = BgraToYuv::kMinimumHeight;
constexpr int kTailPadding = 64;

}  // namespace

SwsContext* BgraToYuv::makeContext(int sourceWidth, int sourceHeight, int width, int height) {
    // Screen pixels carry no alpha (BGR0). Full horizontal chroma input takes
    // swscale's vectorised path for packed RGB, which is about twice as fast
    // as its default scalar chroma path, and filters chroma better too.
    SwsContext* context = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGR0, width, height,
                                         AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_FULL_CHR_H_INP,
                                         nullptr, nullptr, nullptr);
    if (context != nullptr) {
        // Screen pixels are full-range RGB; the movie is BT.709 limited range.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(context, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    return context;
}

void BgraToYuv::describe(AVFrame* picture, int width, int height) {
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    picture->color_range = AVCOL_RANGE_MPEG;
    picture->colorspace = AVCOL_SPC_BT709;
    picture->color_primaries = AVCOL_PRI_BT709;
    picture->color_trc = AVCOL_TRC_BT709;
}

std::expected<AVFrame*, Error> BgraToYuv::allocateFrame(int width, int height) {
    AVFrame* picture = av_frame_alloc();
    if (picture == nullptr) {
        return std::unexpected(Error{kFfmpegErrorDomain, 0, "Out of memory for a video frame."});
    }
    describe(picture, width, height);
    if (const int result = av_frame_get_buffer(picture, 0); result < 0) {
        av_frame_free(&picture);
        return std::unexpected(ffmpegError(result, "Cannot allocate a video frame"));
    }
    return picture;
}

void BgraToYuv::scale(SwsContext* context, ConstImageView source, std::vector<uint8_t>& tail,
                      AVFrame* picture) {
    const int bodyRows = source.height - kTailRows;
    if (bodyRows > 0) {
        const uint8_t* body[1] = {source.pixels};
        int bodyStride[1] = {int(source.stride)};
        sws_scale(context, body, bodyStride, 0, bodyRows, picture->data, picture->linesize);
    }
    const size_t rowBytes = size_t(source.width) * kBytesPerPixel;
    const size_t tailStride = rowBytes + kTailPadding;
    tail.resize(tailStride * kTailRows);
    for (int row = 0; row < kTailRows; ++row) {
        std::memcpy(tail.data() + tailStride * row,
                    source.pixels + source.stride * (bodyRows + row), rowBytes);
    }
    const uint8_t* tailPlanes[1] = {tail.data()};
    int tailStrides[1] = {int(tailStride)};
    sws_scale(context, tailPlanes, tailStrides, bodyRows, kTailRows, picture->data,
              picture->linesize);
}

}  // namespace vx::platform::linux_

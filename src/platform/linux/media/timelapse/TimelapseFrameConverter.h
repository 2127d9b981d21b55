#pragma once

#include <cstdint>
#include <expected>
#include <memory>

#include "platform/Types.h"

struct AVFrame;

namespace vx::platform::linux_ {

// Screen images (B, G, R, X) to the YUV 4:2:0 pictures H.264 takes, BT.709
// limited range as players assume for HD content.
class TimelapseFrameConverter {
  public:
    static std::expected<std::unique_ptr<TimelapseFrameConverter>, Error> open(int width,
                                                                               int height);
    ~TimelapseFrameConverter();
    TimelapseFrameConverter(const TimelapseFrameConverter&) = delete;
    TimelapseFrameConverter& operator=(const TimelapseFrameConverter&) = delete;

    // Whether `image` is a whole image of that size.
    static bool fits(const PixelBuffer& image, int64_t width, int64_t height);
    // Converts a fitting image into the converter's own picture, valid until
    // the next call. The encoder may still hold the previous picture; it is
    // copied away from it first rather than overwritten.
    std::expected<AVFrame*, Error> convert(const PixelBuffer& image);

  private:
    TimelapseFrameConverter(int width, int height, AVFrame* picture);

    int width_;
    int height_;
    AVFrame* picture_;
};

}  // namespace vx::platform::linux_

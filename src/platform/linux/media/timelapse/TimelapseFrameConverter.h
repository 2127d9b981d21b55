#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <vector>

#include "platform/Types.h"

struct AVFrame;
struct SwsContext;

namespace vx::platform::linux_ {

// BGRA screen images to the YUV 4:2:0 pictures H.264 takes, BT.709 limited
// range as players assume for HD content.
class TimelapseFrameConverter {
  public:
    static std::expected<std::unique_ptr<TimelapseFrameConverter>, Error> open(int width,
                                                                               int height);
    ~TimelapseFrameConverter();
    TimelapseFrameConverter(const TimelapseFrameConverter&) = delete;
    TimelapseFrameConverter& operator=(const TimelapseFrameConverter&) = delete;

    // Whether `image` is a whole BGRA image of that size whose rows swscale
    // can address.
    static bool fits(const PixelBuffer& image, int64_t width, int64_t height);
    // Converts a fitting image into the converter's own picture, valid until
    // the next call. The encoder may still hold the previous picture; it is
    // copied away from it first rather than overwritten.
    std::expected<AVFrame*, Error> convert(const PixelBuffer& image);

  private:
    TimelapseFrameConverter(int width, int height, SwsContext* scaler, AVFrame* picture);

    int width_;
    int height_;
    SwsContext* scaler_;
    AVFrame* picture_;
    std::vector<uint8_t> tail_;  // the last rows, padded; see convert()
};

}  // namespace vx::platform::linux_

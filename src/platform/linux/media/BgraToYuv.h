#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "platform/Types.h"
#include "platform/linux/image/ImageView.h"

struct AVFrame;
struct SwsContext;

namespace vx::platform::linux_ {

// Screen pixels (full-range BGRA) into the H.264 picture format (YUV 4:2:0,
// BT.709 limited range), scaled on the way when the sizes differ.
class BgraToYuv {
  public:
    // None when swscale cannot make such a conversion.
    static SwsContext* makeContext(int sourceWidth, int sourceHeight, int width, int height);
    // Sets `picture`'s size, the picture format and its colours' tags.
    static void describe(AVFrame* picture, int width, int height);
    // A frame of width x height in the picture format, tagged with its colours.
    static std::expected<AVFrame*, Error> allocateFrame(int width, int height);
    // Converts `source` (of the context's source size) into `picture`; `tail`
    // is the caller's scratch space, kept between calls.
    static void scale(SwsContext* context, ConstImageView source, std::vector<uint8_t>& tail,
                      AVFrame* picture);
    static constexpr int kMinimumHeight = 2;
};

}  // namespace vx::platform::linux_

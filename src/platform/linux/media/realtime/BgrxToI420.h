#pragma once

#include <cstdint>

#include "platform/linux/image/ImageView.h"

struct AVFrame;

namespace vx::platform::linux_ {

// Screen pixels (B, G, R, X, full range) into a YUV 4:2:0 picture of the same
// size (BT.709, limited range), each chroma sample from the mean of its 2 × 2
// pixels. This is the whole per-frame cost of a recording at the screen's own
// size besides the encoder, so it is written for that one case: AVX2 where the
// processor has it (a fifth of swscale's time at 1080p), plain C++ elsewhere,
// both reading only inside the rows they are given.
class BgrxToI420 {
  public:
    // `source` and `picture` have the same width and height, both even.
    static void convert(ConstImageView source, AVFrame* picture);
};

}  // namespace vx::platform::linux_

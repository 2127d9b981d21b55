#pragma once

#include "platform/linux/image/ImageView.h"

struct AVFrame;

namespace vx::platform::linux_ {

// Screen pixels (full-range B, G, R, X) into the H.264 picture format (YUV 4:2:0,
// BT.709 limited range) at the same size, in one pass over the pixels: swscale's
// general path, which scales as it converts, takes several times as long. Each
// chroma sample is the mean of its 2 × 2 pixels, as swscale's would be.
namespace BgrxToYuv420 {

// `picture` is a YUV420P frame of the source's size; any size from 1 × 1 works.
void convert(ConstImageView source, AVFrame* picture);

}  // namespace BgrxToYuv420

}  // namespace vx::platform::linux_

#pragma once

#include <cstdint>

#include "platform/linux/image/ImageView.h"

namespace vx::platform::linux_ {

// Resizes screen images into opaque BGRA pictures. Shrinking averages every source
// pixel under a target pixel (a box filter), so thin lines and text fade evenly instead
// of flickering in and out as they would with sampling; enlarging is bilinear. Each
// axis chooses on its own.
class ImageScaler {
  public:
    // `source` resampled to exactly the size of `target`; every target alpha is 255.
    static void scale(ConstImageView source, ImageView target);

    // `source` over the whole of `target`: stretched to fill it, or with `keepAspect`
    // scaled as large as fits and centred on opaque black.
    static void fit(ConstImageView source, ImageView target, bool keepAspect);
};

}  // namespace vx::platform::linux_

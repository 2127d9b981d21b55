#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Types.h"
#include "platform/linux/image/ImageView.h"

namespace vx::platform::linux_ {

// Memory for pictures of one size, used again and again: a block goes back to the
// pool when the last holder of its picture lets go, so that a recording neither
// allocates nor faults in fresh pages for every frame, and the C library is left
// with no trail of freed picture-sized blocks. Blocks are not cleared. Any thread
// may take pictures and let them go.
class PixelPool {
  public:
    // Keeps at most `keptFree` blocks that no picture uses.
    explicit PixelPool(size_t keptFree);

    struct Picture {
        ImageView pixels;     // to be filled before the picture is handed on
        PixelBuffer picture;  // the same pixels, read-only, holding the block
    };
    // A width × height picture, rows packed. Throws std::bad_alloc.
    Picture take(int width, int height);

  private:
    struct Shelf;
    std::shared_ptr<Shelf> shelf_;  // shared with every block out, which may outlive us
};

}  // namespace vx::platform::linux_

#pragma once

#include <cstddef>
#include <cstdint>

namespace vx::platform::linux_ {

// A read-only window onto 32-bit pixels in memory order B, G, R, X; rows are
// `stride` bytes apart.
struct ConstImageView {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;
};

// A writable window onto 32-bit BGRA (or BGRX) pixels.
struct ImageView {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;

    operator ConstImageView() const { return {pixels, width, height, stride}; }
    uint8_t* row(int y) const { return pixels + y * stride; }
};

}  // namespace vx::platform::linux_

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vx::platform {

// A failure as the user will read it: `description` is one complete sentence
// fragment that a recorder can put behind "Could not start: ".
struct Error {
    std::string domain;
    int64_t code = 0;
    std::string description;
};

// The error domain of failures this program makes itself.
inline constexpr const char* kAppErrorDomain = "Ventilux";

// A rational media time, so that frame k of an N-fps movie is exactly k/N.
struct MediaTime {
    int64_t value = 0;
    int32_t timescale = 1;
    bool numeric = true;  // false for an invalid or indefinite time

    static MediaTime invalid() { return {0, 1, false}; }
    double seconds() const { return numeric && timescale > 0 ? double(value) / timescale : 0.0; }
};

// Read-only bytes that stay valid while any copy of them is held: a vector of their
// own, or memory lent by a pool (a segment the X server writes screenshots into, a
// reused block) that goes back to it when the last copy is let go. Copies share
// the bytes; nothing is copied.
class PixelBytes {
  public:
    PixelBytes() = default;
    PixelBytes(std::vector<uint8_t> bytes)
        : PixelBytes(std::make_shared<const std::vector<uint8_t>>(std::move(bytes))) {}
    // `keeper` keeps the `size` bytes at `data` valid while it lives.
    PixelBytes(const uint8_t* data, size_t size, std::shared_ptr<const void> keeper)
        : keeper_(std::move(keeper)), data_(data), size_(size) {}

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    uint8_t operator[](size_t i) const { return data_[i]; }

  private:
    explicit PixelBytes(std::shared_ptr<const std::vector<uint8_t>> owned)
        : keeper_(owned), data_(owned->data()), size_(owned->size()) {}

    std::shared_ptr<const void> keeper_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// One 32-bit image in memory order B, G, R, X: the fourth byte of each pixel means
// nothing (screens are opaque) and may hold anything. Rows are `stride` bytes apart.
struct PixelBuffer {
    int64_t width = 0;
    int64_t height = 0;
    int64_t stride = 0;
    PixelBytes bytes;
};

}  // namespace vx::platform

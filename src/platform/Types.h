#pragma once

#include <cstdint>
#include <string>
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

// One 32-bit BGRA image; rows are `stride` bytes apart.
struct PixelBuffer {
    int64_t width = 0;
    int64_t height = 0;
    int64_t stride = 0;
    std::vector<uint8_t> bytes;
};

}  // namespace vx::platform

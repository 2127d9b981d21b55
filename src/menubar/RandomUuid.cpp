#include "menubar/RandomUuid.h"

#include <array>
#include <cstdint>
#include <random>

namespace vx {

std::string randomUuid() {
    std::random_device source;
    std::array<uint8_t, 16> bytes{};
    for (uint8_t& byte : bytes) {
        byte = static_cast<uint8_t>(source());
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3f) | 0x80);  // the standard variant
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0f];
    }
    return text;
}

}  // namespace vx

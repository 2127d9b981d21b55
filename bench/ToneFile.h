#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace vx::fixtures {

// A 440 Hz tone as a WAVE file, 16-bit stereo at 48 kHz, for paplay to play
// into a null sink so that a recording of its monitor has sound to catch.
// `amplitude` is out of the 32767 of full scale.
inline void writeTone(const std::filesystem::path& file, int seconds, int16_t amplitude) {
    const uint32_t rate = 48000, samples = rate * uint32_t(seconds);
    const uint32_t dataBytes = samples * 4;
    std::ofstream out(file, std::ios::binary);
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.put(char((value >> (8 * i)) & 0xff));
        }
    };
    out << "RIFF";
    put(36 + dataBytes, 4);
    out << "WAVEfmt ";
    put(16, 4), put(1, 2), put(2, 2), put(rate, 4), put(rate * 4, 4), put(4, 2), put(16, 2);
    out << "data";
    put(dataBytes, 4);
    for (uint32_t i = 0; i < samples; ++i) {
        const auto value = int16_t(amplitude * std::sin(2 * M_PI * 440 * i / rate));
        put(uint16_t(value), 2), put(uint16_t(value), 2);
    }
}

}  // namespace vx::fixtures

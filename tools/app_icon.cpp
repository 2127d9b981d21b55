// Draws the application icon into one file for the icon theme:
//   ventilux_app_icon <side in pixels> <file>.png|<file>.svg
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/linux/tray/StatusIconPainter.h"

namespace painter = vx::platform::linux_::StatusIconPainter;

int main(int argc, char** argv) {
    const std::string_view sideText = argc == 3 ? argv[1] : "";
    int side = 0;
    const auto [end, error] = std::from_chars(sideText.begin(), sideText.end(), side);
    if (argc != 3 || error != std::errc() || end != sideText.end() || side <= 0) {
        std::fputs("Usage: ventilux_app_icon <side in pixels> <file>.png|<file>.svg\n", stderr);
        return 2;
    }
    const std::filesystem::path file = argv[2];
    const auto written = file.extension() == ".svg" ? painter::writeApplicationIconSvg(side, file)
                                                    : painter::writeApplicationIconPng(side, file);
    if (!written) {
        std::fprintf(stderr, "%s\n", written.error().description.c_str());
        return 1;
    }
    return 0;
}

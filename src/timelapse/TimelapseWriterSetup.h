#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>

#include "platform/MovieWriter.h"
#include "platform/Types.h"

namespace vx {

struct OpenedMovie {
    std::unique_ptr<platform::MovieWriter> writer;
    std::filesystem::path file;
};

// "Ventilux-yyyy-MM-dd_HH-mm-ss.mp4" in local time; when a movie of that name
// already exists (two sessions in one second), "-2", "-3", ... follows the stamp
// so a finished recording is never replaced.
std::filesystem::path movieFile(const std::filesystem::path& folder,
                                std::chrono::system_clock::time_point when);

// Opens a time-lapse movie of width x height frames at `playbackFPS` in
// `folder`, creating the folder with its parents.
std::expected<OpenedMovie, platform::Error> setupWriter(const std::filesystem::path& folder,
                                                        int64_t width, int64_t height,
                                                        int32_t playbackFPS);

}  // namespace vx

#pragma once

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

// Opens a time-lapse movie of width x height frames at `playbackFPS` in
// `folder`, creating the folder with its parents.
std::expected<OpenedMovie, platform::Error> setupWriter(const std::filesystem::path& folder,
                                                        int64_t width, int64_t height,
                                                        int32_t playbackFPS);

}  // namespace vx

#pragma once

#include <chrono>
#include <expected>
#include <filesystem>
#include <string>

#include "platform/Types.h"

namespace vx {

// A new movie's path in `folder`: "Ventilux-yyyy-MM-dd_HH-mm-ss.<extension>" in
// local time. When a movie of that name already exists (two sessions in one
// second), "-2", "-3", ... follows the stamp so a finished recording is never
// replaced. The folder is created with its parents; the file is not.
std::expected<std::filesystem::path, platform::Error> newMovieFile(
    const std::filesystem::path& folder, const std::string& extension);

}  // namespace vx

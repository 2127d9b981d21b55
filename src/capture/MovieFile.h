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
// replaced. The folder is created with its parents; the file is not. Fails
// with the reason when the folder cannot be made or searched.
std::expected<std::filesystem::path, platform::Error> newMovieFile(
    const std::filesystem::path& folder, const std::string& extension);

// Whether creating a movie failed only because its name was taken after
// newMovieFile chose it: another session started in the same second. Asking
// newMovieFile again then gives the next free name.
bool movieNameWasTaken(const platform::Error& error);
inline constexpr int kMovieNameAttempts = 100;

}  // namespace vx

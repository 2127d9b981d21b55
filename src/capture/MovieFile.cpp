#include "capture/MovieFile.h"

#include <ctime>
#include <system_error>

#include "platform/Services.h"

namespace vx {

namespace {

std::string timeStamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

}  // namespace

std::expected<std::filesystem::path, platform::Error> newMovieFile(
    const std::filesystem::path& folder, const std::string& extension) {
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        return std::unexpected(platform::Error{
            "POSIX", failure.value(),
            "Cannot create the folder " + folder.string() + ": " + failure.message() + "."});
    }
    const std::string stem = "Ventilux-" + timeStamp(platform::services().dispatch->now());
    std::filesystem::path candidate = folder / (stem + "." + extension);
    for (int copy = 2; std::filesystem::exists(candidate); ++copy) {
        candidate = folder / (stem + "-" + std::to_string(copy) + "." + extension);
    }
    return candidate;
}

}  // namespace vx

#include "capture/MovieFile.h"

#include <cerrno>
#include <ctime>
#include <system_error>

#include "platform/Services.h"

namespace vx {

namespace {

constexpr int kMostCopiesInOneSecond = 1000;

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
    for (int copy = 1; copy <= kMostCopiesInOneSecond; ++copy) {
        const std::string suffix = copy == 1 ? "" : "-" + std::to_string(copy);
        std::filesystem::path candidate = folder / (stem + suffix + "." + extension);
        // The throwing form would end the program on a folder that cannot be
        // searched or a name over the file system's length limit.
        const bool taken = std::filesystem::exists(candidate, failure);
        if (failure) {
            return std::unexpected(platform::Error{
                "POSIX", failure.value(),
                "Cannot use the folder " + folder.string() + ": " + failure.message() + "."});
        }
        if (!taken) {
            return candidate;
        }
    }
    return std::unexpected(
        platform::Error{platform::kAppErrorDomain, 0,
                        "Too many movies in " + folder.string() + " were started this second."});
}

bool movieNameWasTaken(const platform::Error& error) {
    return error.domain == "POSIX" && error.code == EEXIST;
}

}  // namespace vx

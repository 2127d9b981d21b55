#include "timelapse/TimelapseWriterSetup.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <system_error>

#include "platform/Services.h"

namespace vx {

namespace {

constexpr int64_t kWriterRejectedInput = 1;
constexpr int64_t kStartWritingFailed = 2;
constexpr int64_t kBitsPerPixel = 4;
constexpr int64_t kMinimumBitRate = 2'000'000;
constexpr int32_t kMaxKeyFrameInterval = 30;

std::string timeStamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

platform::Error appError(int64_t code, const char* description) {
    return {platform::kAppErrorDomain, code, description};
}

}  // namespace

std::filesystem::path movieFile(const std::filesystem::path& folder,
                                std::chrono::system_clock::time_point when) {
    const std::string stem = "Ventilux-" + timeStamp(when);
    std::filesystem::path candidate = folder / (stem + ".mp4");
    for (int copy = 2; std::filesystem::exists(candidate); ++copy) {
        candidate = folder / (stem + "-" + std::to_string(copy) + ".mp4");
    }
    return candidate;
}

std::expected<OpenedMovie, platform::Error> setupWriter(const std::filesystem::path& folder,
                                                        int64_t width, int64_t height,
                                                        int32_t playbackFPS) {
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        return std::unexpected(platform::Error{
            "POSIX", failure.value(),
            "Cannot create the folder " + folder.string() + ": " + failure.message() + "."});
    }
    auto& services = platform::services();
    const auto file = movieFile(folder, services.dispatch->now());
    auto writer = services.movieWriters->create(file);
    if (!writer) {
        return std::unexpected(writer.error());
    }
    const platform::VideoTrackSettings track{
        .width = width,
        .height = height,
        .averageBitRate = std::max(width * height * kBitsPerPixel, kMinimumBitRate),
        .maxKeyFrameInterval = kMaxKeyFrameInterval,
        .timescale = playbackFPS,
    };
    if (!(*writer)->addVideoTrack(track)) {
        return std::unexpected(appError(kWriterRejectedInput, "Writer rejected video input"));
    }
    if (!(*writer)->startWriting()) {
        return std::unexpected(
            (*writer)->error().value_or(appError(kStartWritingFailed, "startWriting failed")));
    }
    return OpenedMovie{std::move(*writer), file};
}

}  // namespace vx

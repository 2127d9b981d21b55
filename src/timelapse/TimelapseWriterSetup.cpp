#include "timelapse/TimelapseWriterSetup.h"

#include <algorithm>

#include "platform/Services.h"

#include "capture/MovieFile.h"

namespace vx {

namespace {

constexpr int64_t kWriterRejectedInput = 1;
constexpr int64_t kStartWritingFailed = 2;
constexpr int64_t kBitsPerPixel = 4;
constexpr int64_t kMinimumBitRate = 2'000'000;
constexpr int32_t kMaxKeyFrameInterval = 30;

platform::Error appError(int64_t code, const char* description) {
    return {platform::kAppErrorDomain, code, description};
}

// A writer for a new movie in `folder`. Another session may take the chosen
// name between its choice and the writer's exclusive creation; then the next
// free name is tried.
std::expected<OpenedMovie, platform::Error> createMovie(const std::filesystem::path& folder) {
    for (int attempt = 1;; ++attempt) {
        auto file = newMovieFile(folder, "mp4");
        if (!file) {
            return std::unexpected(file.error());
        }
        auto writer = platform::services().movieWriters->create(*file);
        if (writer) {
            return OpenedMovie{std::move(*writer), *file};
        }
        if (!movieNameWasTaken(writer.error()) || attempt == kMovieNameAttempts) {
            return std::unexpected(writer.error());
        }
    }
}

}  // namespace

std::expected<OpenedMovie, platform::Error> setupWriter(const std::filesystem::path& folder,
                                                        int64_t width, int64_t height,
                                                        int32_t playbackFPS) {
    auto created = createMovie(folder);
    if (!created) {
        return std::unexpected(created.error());
    }
    auto& writer = created->writer;
    const platform::VideoTrackSettings track{
        .width = width,
        .height = height,
        .averageBitRate = std::max(width * height * kBitsPerPixel, kMinimumBitRate),
        .maxKeyFrameInterval = kMaxKeyFrameInterval,
        .timescale = playbackFPS,
    };
    if (!writer->addVideoTrack(track)) {
        return std::unexpected(appError(kWriterRejectedInput, "Writer rejected video input"));
    }
    if (!writer->startWriting()) {
        return std::unexpected(
            writer->error().value_or(appError(kStartWritingFailed, "startWriting failed")));
    }
    return std::move(*created);
}

}  // namespace vx

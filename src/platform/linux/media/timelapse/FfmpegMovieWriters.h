#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/MovieWriter.h"

namespace vx::platform::linux_ {

// Time-lapse movies written with FFmpeg (libx264 in MPEG-4).
class FfmpegMovieWriters : public MovieWriters {
  public:
    FfmpegMovieWriters();

    // Finalises what a crash left unfinished in the file's folder first, so a
    // movie cut short is whole again by the next recording.
    std::expected<std::unique_ptr<MovieWriter>, Error> create(
        const std::filesystem::path& file) override;

    // Turns every "Ventilux-*.mp4" in `folder` that is still a fragmented movie
    // and that no live writer holds into a regular movie; returns those files.
    // A file that cannot be finalised is left as it is; hidden copies that a
    // crash left behind while finalising are removed.
    static std::vector<std::filesystem::path> recoverUnfinished(
        const std::filesystem::path& folder);
};

}  // namespace vx::platform::linux_

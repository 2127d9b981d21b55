#pragma once

#include <expected>
#include <filesystem>
#include <memory>

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
};

}  // namespace vx::platform::linux_

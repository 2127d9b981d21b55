#include "platform/linux/media/timelapse/FfmpegMovieWriters.h"

extern "C" {
#include <libavutil/log.h>
}

#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/UnfinishedMovies.h"
#include "platform/linux/media/timelapse/FfmpegMovieWriter.h"

namespace vx::platform::linux_ {

FfmpegMovieWriters::FfmpegMovieWriters() {
    // Standard error carries the program's own lines (self-test results);
    // every failure that matters reaches the caller as an Error instead.
    av_log_set_level(AV_LOG_QUIET);
}

std::expected<std::unique_ptr<MovieWriter>, Error> FfmpegMovieWriters::create(
    const std::filesystem::path& file) {
    UnfinishedMovies::finalise(file.has_parent_path() ? file.parent_path() : ".");
    auto locked = LockedMovieFile::createExclusive(file);
    if (!locked) {
        return std::unexpected(locked.error());
    }
    return std::make_unique<FfmpegMovieWriter>(std::move(*locked));
}

}  // namespace vx::platform::linux_

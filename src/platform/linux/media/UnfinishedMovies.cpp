#include "platform/linux/media/UnfinishedMovies.h"

#include <string>
#include <system_error>

#include "platform/linux/media/FragmentedMp4Finisher.h"
#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/Mp4BoxScanner.h"

namespace vx::platform::linux_ {

namespace {

bool isMovieName(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    return name.starts_with("Ventilux-") && (name.ends_with(".mp4") || name.ends_with(".mov"));
}

}  // namespace

std::vector<std::filesystem::path> UnfinishedMovies::finalise(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> recovered;
    std::error_code failure;
    // The error_code forms throughout: a folder that vanishes or cannot be
    // read simply holds nothing to recover.
    std::filesystem::directory_iterator entries(folder, failure);
    for (; !failure && entries != std::filesystem::directory_iterator();
         entries.increment(failure)) {
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code ignored;
        if (FragmentedMp4Finisher::isCopyName(entry.path())) {
            if (auto abandoned = LockedMovieFile::lockExisting(entry.path())) {
                std::filesystem::remove(entry.path(), ignored);
            }
            continue;
        }
        if (!isMovieName(entry.path()) || entry.is_symlink(ignored) ||
            !entry.is_regular_file(ignored)) {
            continue;
        }
        auto file = LockedMovieFile::lockExisting(entry.path());
        if (file && Mp4BoxScanner::isFragmented(file->fd()) &&
            FragmentedMp4Finisher::finalise(*file)) {
            recovered.push_back(entry.path());
        }
    }
    return recovered;
}

}  // namespace vx::platform::linux_

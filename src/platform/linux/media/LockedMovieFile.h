#pragma once

#include <expected>
#include <filesystem>
#include <optional>

#include "platform/Types.h"

namespace vx::platform::linux_ {

// An open movie file holding an exclusive flock for as long as this object
// lives. The lock is what tells recovery that a live writer still owns the
// file; it goes away with the process, so a crash leaves the file unlocked.
class LockedMovieFile {
  public:
    // A new file, never an existing one.
    static std::expected<LockedMovieFile, Error> createExclusive(const std::filesystem::path& path);
    // The existing file, unless another open file holds its lock (or it is
    // no longer the file at `path`); opened for reading only.
    static std::optional<LockedMovieFile> lockExisting(const std::filesystem::path& path);

    LockedMovieFile(LockedMovieFile&& other) noexcept;
    LockedMovieFile& operator=(LockedMovieFile&& other) noexcept;
    LockedMovieFile(const LockedMovieFile&) = delete;
    LockedMovieFile& operator=(const LockedMovieFile&) = delete;
    ~LockedMovieFile();

    // A new or renamed directory entry survives a power cut only once its
    // folder is synced too.
    static void syncFolderOf(const std::filesystem::path& file);

    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    LockedMovieFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    void close();

    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace vx::platform::linux_

#include "platform/linux/media/LockedMovieFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/linux/media/FfmpegErrors.h"

namespace vx::platform::linux_ {

std::expected<LockedMovieFile, Error> LockedMovieFile::createExclusive(
    const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return std::unexpected(posixError(errno, "Cannot create " + path.string()));
    }
    LockedMovieFile file(fd, path);
    // Nobody else can have opened a file this new, so only a file system
    // without flock support makes this fail.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        file.close();
        ::unlink(path.c_str());
        return std::unexpected(posixError(err, "Cannot lock " + path.string()));
    }
    syncFolderOf(path);
    return file;
}

std::optional<LockedMovieFile> LockedMovieFile::lockExisting(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    LockedMovieFile file(fd, path);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return std::nullopt;
    }
    // Someone may have finalised and replaced the file between our open and
    // our lock; then the name belongs to a newer file than the one we hold.
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino || !S_ISREG(held.st_mode)) {
        return std::nullopt;
    }
    return file;
}

void LockedMovieFile::syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

LockedMovieFile::LockedMovieFile(LockedMovieFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

LockedMovieFile& LockedMovieFile::operator=(LockedMovieFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

LockedMovieFile::~LockedMovieFile() {
    close();
}

void LockedMovieFile::close() {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
}

}  // namespace vx::platform::linux_

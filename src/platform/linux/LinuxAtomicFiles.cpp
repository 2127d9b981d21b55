#include "platform/linux/LinuxAtomicFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace vx::platform::linux_ {

namespace {

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written == 0 ? EIO : errno;
            return false;
        }
        contents.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

Error writeError(const std::filesystem::path& file, int error) {
    return Error{"POSIX", error,
                 "Could not write the file " + file.string() + ": " +
                     std::generic_category().message(error) + "."};
}

}  // namespace

std::expected<void, Error> LinuxAtomicFiles::replace(const std::filesystem::path& file,
                                                     std::string_view contents) {
    std::string temporary = file.string() + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(writeError(file, errno));
    }
    // mkostemp makes the file private; a desktop file is readable by all.
    int failure = 0;
    if (::fchmod(fd, 0644) != 0 || !writeAll(fd, contents) || ::fsync(fd) != 0) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return std::unexpected(writeError(file, failure));
    }
    if (int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

}  // namespace vx::platform::linux_

#include "platform/linux/store/LinuxDefaultsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>

namespace vx::platform::linux_ {

namespace {

// Settings files are a few hundred bytes, and every lookup reads the whole
// file, so this limit only guards memory and the time of a lookup: a file of
// some megabytes (a long string, many comments) is still read and carried
// forward whole. A larger one is not read, and not replaced either, since
// replacing it would lose every setting it holds: it is most likely something
// else saved under the settings' name, which the user has to look at. The log
// says so at start-up (see the constructor).
constexpr size_t kLargestFile = 16 << 20;
constexpr const char* kTooLarge = "Larger than 16 MiB";

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now, so that a failure to close (a late write error) is seen.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

std::string errnoText(int error) {
    return std::strerror(error);
}

// The file's bytes, empty when there is no file. Never waits: a pipe or a
// device in the file's place is refused, not read.
std::expected<std::string, std::string> readFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            return std::string();
        }
        return std::unexpected(errnoText(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return std::unexpected(errnoText(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return std::unexpected(errnoText(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        return std::unexpected("Not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > kLargestFile) {
        return std::unexpected(kTooLarge);
    }
    std::string bytes;
    char buffer[16384];
    while (bytes.size() <= kLargestFile) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) {
            return bytes;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(errnoText(errno));
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return std::unexpected(kTooLarge);
}

// The file a save replaces: `file` itself, or the file at the end of the
// symbolic links it starts, so that a settings file linked from elsewhere
// (dot files kept in a repository) stays a link. A link to nothing is not
// followed by creating a file there: it is more likely a moved repository
// than a wish for a new file.
std::expected<std::filesystem::path, std::string> replacedFile(const std::filesystem::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return file;
        }
        return std::unexpected(errnoText(errno));
    }
    if (!S_ISLNK(info.st_mode)) {
        return file;
    }
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(file, error);
    if (error == std::errc::no_such_file_or_directory) {
        std::error_code ignored;
        return std::unexpected("A symbolic link to " +
                               std::filesystem::read_symlink(file, ignored).string() +
                               ", which does not exist");
    }
    if (error) {
        return std::unexpected(error.message());
    }
    return target;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// The folder is private to the user, as the XDG conventions ask.
std::expected<void, std::string> makeFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::unexpected(errnoText(errno));
    }
    return {};
}

// Why the settings in `file` cannot be read, or nothing when they can.
std::optional<std::string> unreadable(const std::filesystem::path& file) {
    auto replaced = replacedFile(file);
    if (!replaced) {
        return replaced.error();
    }
    if (auto read = readFile(*replaced); !read) {
        return read.error();
    }
    return std::nullopt;
}

std::string localTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

}  // namespace

LinuxDefaultsStore::LinuxDefaultsStore(std::filesystem::path file, Log& log)
    : file_(std::move(file)), log_(log) {
    // Said now rather than at the first change, which may come long after the
    // user wondered why the settings were forgotten, or never.
    if (auto problem = unreadable(file_)) {
        log_.line("Ventilux: the settings file " + file_.string() + " cannot be read (" + *problem +
                  "); every setting keeps its default, and changes hold until Ventilux quits.");
        // That line also speaks for the saves, which fail for the same reason.
        saveFailureLogged_ = true;
    }
}

std::filesystem::path LinuxDefaultsStore::standardLocation(const UserDirs& dirs) {
    return dirs.configHome() / "ventilux" / "settings.ini";
}

void LinuxDefaultsStore::registerDefaults(const std::map<std::string, DefaultsValue>& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : defaults) {
        registered_[key] = value;
    }
}

std::optional<DefaultsValue> LinuxDefaultsStore::value(const std::string& key) const {
    {
        std::lock_guard lock(mutex_);
        if (auto pending = unsaved_.find(key); pending != unsaved_.end()) {
            return pending->second;
        }
    }
    if (auto stored = load().value(key)) {
        return stored;
    }
    std::lock_guard lock(mutex_);
    if (auto registered = registered_.find(key); registered != registered_.end()) {
        return registered->second;
    }
    return std::nullopt;
}

LinuxDefaultsFile LinuxDefaultsStore::load() const {
    auto read = readFile(file_);
    if (!read) {
        return {};
    }
    return LinuxDefaultsFile::parse(*read);
}

void LinuxDefaultsStore::set(const std::string& key, const DefaultsValue& value) {
    std::lock_guard lock(mutex_);
    unsaved_[key] = value;
    if (auto saved = save(); !saved) {
        if (!std::exchange(saveFailureLogged_, true)) {
            log_.line("Ventilux: settings could not be saved to " + file_.string() + " (" +
                      saved.error() + "); changes hold until Ventilux quits.");
        }
        return;
    }
    unsaved_.clear();
    saveFailureLogged_ = false;
}

std::expected<void, std::string> LinuxDefaultsStore::save() {
    if (auto made = makeFolder(file_.parent_path()); !made) {
        return made;
    }
    const std::filesystem::path lockPath = file_.string() + ".lock";
    FileDescriptor lockFile(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lockFile) {
        return std::unexpected(errnoText(errno));
    }
    while (::flock(lockFile.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return std::unexpected(errnoText(errno));
        }
    }
    auto replaced = replacedFile(file_);
    if (!replaced) {
        return std::unexpected(replaced.error());
    }
    // Holding the lock, this process is the only writer: any temporary file
    // left now belongs to a writer that died, and nobody else will remove it.
    removeAbandonedTemporaryFiles(*replaced);

    // A file that exists but cannot be read must not be replaced unseen.
    auto read = readFile(*replaced);
    if (!read) {
        return std::unexpected(read.error());
    }
    LinuxDefaultsFile contents = LinuxDefaultsFile::parse(*read);
    if (!contents.isText()) {
        keepDamagedFile(*replaced);
        contents = contents.readableSettingsOnly();
    }
    for (const auto& [key, value] : unsaved_) {
        contents.set(key, value);
    }
    return replaceFile(*replaced, contents);
}

std::expected<void, std::string> LinuxDefaultsStore::replaceFile(
    const std::filesystem::path& replaced, const LinuxDefaultsFile& contents) {
    std::string temporary = replaced.string() + ".tmp-XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) {
        return std::unexpected(errnoText(errno));
    }
    if (!writeAll(fd.get(), contents.text()) || ::fsync(fd.get()) != 0 || !fd.close() ||
        ::rename(temporary.c_str(), replaced.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return std::unexpected(errnoText(error));
    }
    // The rename itself is durable only once the folder is flushed too.
    if (FileDescriptor folder(
            ::open(replaced.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        folder) {
        ::fsync(folder.get());
    }
    return {};
}

void LinuxDefaultsStore::keepDamagedFile(const std::filesystem::path& damaged) {
    const std::string stem = damaged.string() + ".damaged-" + localTimeStamp();
    std::string aside = stem;
    // A hard link keeps the damaged bytes under the new name while the old
    // name goes on existing until the fresh file replaces it.
    for (int attempt = 2; ::link(damaged.c_str(), aside.c_str()) != 0; ++attempt) {
        if (errno != EEXIST || attempt > 100) {
            log_.line("Ventilux: the settings file " + damaged.string() +
                      " was not readable text and is replaced by its readable settings; it "
                      "could not be kept (" +
                      errnoText(errno) + ").");
            return;
        }
        aside = stem + "-" + std::to_string(attempt);
    }
    log_.line("Ventilux: the settings file " + damaged.string() +
              " was not readable text; it was kept as " + aside +
              " and replaced by its readable settings.");
}

void LinuxDefaultsStore::removeAbandonedTemporaryFiles(const std::filesystem::path& replaced) {
    const std::string prefix = replaced.filename().string() + ".tmp-";
    std::error_code error;
    for (std::filesystem::directory_iterator entry(replaced.parent_path(), error), end;
         !error && entry != end; entry.increment(error)) {
        if (entry->path().filename().string().starts_with(prefix)) {
            std::error_code ignored;
            std::filesystem::remove(entry->path(), ignored);
        }
    }
}

}  // namespace vx::platform::linux_

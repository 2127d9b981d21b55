#include "platform/linux/store/LinuxDefaultsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace vx::platform::linux_ {

namespace {

// Far above any real settings file; a bigger one is something else written
// over it, and reading it on every lookup would be slow.
constexpr size_t kLargestFile = 1 << 20;

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

struct FileBytes {
    std::string bytes;
    bool tooLarge = false;
};

// The file's bytes, empty when there is no file.
std::expected<FileBytes, std::string> readFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            return FileBytes{};
        }
        return std::unexpected(errnoText(errno));
    }
    FileBytes read;
    char buffer[16384];
    while (read.bytes.size() <= kLargestFile) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) {
            return read;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(errnoText(errno));
        }
        read.bytes.append(buffer, static_cast<size_t>(got));
    }
    return FileBytes{{}, true};
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
    : file_(std::move(file)), log_(log) {}

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
    if (!read || read->tooLarge) {
        return {};
    }
    return LinuxDefaultsFile::parse(read->bytes);
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
    // Holding the lock, this process is the only writer: any temporary file
    // left now belongs to a writer that died, and nobody else will remove it.
    removeAbandonedTemporaryFiles();

    // A file that exists but cannot be read must not be replaced unseen.
    auto read = readFile(file_);
    if (!read) {
        return std::unexpected(read.error());
    }
    LinuxDefaultsFile contents;
    if (!read->tooLarge) {
        contents = LinuxDefaultsFile::parse(read->bytes);
    }
    if (read->tooLarge || !contents.isText()) {
        keepDamagedFile();
        contents = contents.readableSettingsOnly();
    }
    for (const auto& [key, value] : unsaved_) {
        contents.set(key, value);
    }
    return replaceFile(contents);
}

std::expected<void, std::string> LinuxDefaultsStore::replaceFile(
    const LinuxDefaultsFile& contents) {
    std::string temporary = file_.string() + ".tmp-XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) {
        return std::unexpected(errnoText(errno));
    }
    if (!writeAll(fd.get(), contents.text()) || ::fsync(fd.get()) != 0 || !fd.close() ||
        ::rename(temporary.c_str(), file_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return std::unexpected(errnoText(error));
    }
    // The rename itself is durable only once the folder is flushed too.
    if (FileDescriptor folder(
            ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        folder) {
        ::fsync(folder.get());
    }
    return {};
}

void LinuxDefaultsStore::keepDamagedFile() {
    const std::string stem = file_.string() + ".damaged-" + localTimeStamp();
    std::string aside = stem;
    // A hard link keeps the damaged bytes under the new name while the old
    // name goes on existing until the fresh file replaces it.
    for (int attempt = 2; ::link(file_.c_str(), aside.c_str()) != 0; ++attempt) {
        if (errno != EEXIST || attempt > 100) {
            log_.line("Ventilux: the settings file " + file_.string() +
                      " was not readable text and is replaced by its readable settings; it "
                      "could not be kept (" +
                      errnoText(errno) + ").");
            return;
        }
        aside = stem + "-" + std::to_string(attempt);
    }
    log_.line("Ventilux: the settings file " + file_.string() +
              " was not readable text; it was kept as " + aside +
              " and replaced by its readable settings.");
}

void LinuxDefaultsStore::removeAbandonedTemporaryFiles() const {
    const std::string prefix = file_.filename().string() + ".tmp-";
    std::error_code error;
    for (std::filesystem::directory_iterator entry(file_.parent_path(), error), end;
         !error && entry != end; entry.increment(error)) {
        if (entry->path().filename().string().starts_with(prefix)) {
            std::error_code ignored;
            std::filesystem::remove(entry->path(), ignored);
        }
    }
}

}  // namespace vx::platform::linux_

#pragma once

#include <expected>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "platform/DefaultsStore.h"
#include "platform/Log.h"
#include "platform/UserDirs.h"
#include "platform/linux/store/LinuxDefaultsFile.h"

namespace vx::platform::linux_ {

// The user's settings in one key file shared by every running copy.
//
// Each write replaces the whole file atomically (a temporary file in the same
// folder, flushed to disk, renamed over the old one), under an exclusive lock
// on a lock file beside it, after reading the file again and changing only its
// own key: two copies writing at once never lose each other's changes, and a
// crash mid-write leaves the old file or the new one, never a mix. Every read
// reads the file again, so a change made by another copy is seen at once;
// the file is small and a lookup costs about ten microseconds of processor time
// (bench/SettingsStoreBench), while a cache checked against the file's inode,
// size and times could miss a write that reused all three within a clock tick.
//
// A settings file that is a symbolic link stays one: saves replace the file
// it leads to, in that file's folder, and the lock stays beside the link.
//
// Damage never stops the program: an unreadable line hides only its own key
// (which then reads as its default) and is kept as it was when another key is
// written. A file that is not text at all is kept aside as
// "<name>.damaged-<time>" and replaced by its readable settings, once, with a
// line in the system log. A file that cannot be read at all (a folder or a
// pipe in its place, a link to nothing, more than 16 MiB) is said in the log
// once, when the store is made; every setting then reads as its default and
// the file is never replaced.
class LinuxDefaultsStore : public DefaultsStore {
  public:
    LinuxDefaultsStore(std::filesystem::path file, Log& log);

    // ventilux/settings.ini in the user's configuration folder.
    static std::filesystem::path standardLocation(const UserDirs& dirs);

    void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) override;
    std::optional<DefaultsValue> value(const std::string& key) const override;
    // A value that cannot be saved (read-only or full disk) still holds for
    // this process, and is saved with the next write that succeeds.
    void set(const std::string& key, const DefaultsValue& value) override;

  private:
    LinuxDefaultsFile load() const;
    std::expected<void, std::string> save();
    // `replaced` is the settings file, or where its symbolic link leads.
    std::expected<void, std::string> replaceFile(const std::filesystem::path& replaced,
                                                 const LinuxDefaultsFile& contents);
    void keepDamagedFile(const std::filesystem::path& damaged);
    static void removeAbandonedTemporaryFiles(const std::filesystem::path& replaced);

    const std::filesystem::path file_;
    Log& log_;

    mutable std::mutex mutex_;  // guards everything below
    std::map<std::string, DefaultsValue> registered_;
    std::map<std::string, DefaultsValue> unsaved_;
    bool saveFailureLogged_ = false;
};

}  // namespace vx::platform::linux_

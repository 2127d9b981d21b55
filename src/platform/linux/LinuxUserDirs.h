#pragma once

#include "platform/UserDirs.h"

namespace vx::platform::linux_ {

// The user's folders as the XDG base-directory and user-dirs conventions name
// them. Read afresh on each call: the answers are cheap and rarely asked for.
class LinuxUserDirs : public UserDirs {
  public:
    // $HOME, else the home folder of the account.
    std::filesystem::path home() const override;
    // The Desktop of user-dirs.dirs, else home/Desktop.
    std::vector<std::filesystem::path> desktopDirectories() const override;
    // $XDG_CONFIG_HOME when it is an absolute path, else home/.config.
    std::filesystem::path configHome() const override;
};

}  // namespace vx::platform::linux_

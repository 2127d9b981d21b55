#pragma once

#include <filesystem>
#include <functional>
#include <optional>

namespace vx::platform {

// The desktop's own dialog for choosing a folder.
class FolderChooser {
  public:
    virtual ~FolderChooser() = default;
    // Whether the desktop has such a dialog. The first call starts finding out
    // without waiting and answers false until the desktop has said; its answer
    // then holds for the whole run. Main thread.
    virtual bool isAvailable() = 0;
    // Opens the dialog at `current`; `chosen` runs once on the main thread with
    // the folder the user chose, or with nothing when the user cancelled or the
    // dialog could not be shown.
    virtual void chooseFolder(
        const std::filesystem::path& current,
        std::function<void(const std::optional<std::filesystem::path>& folder)> chosen) = 0;
};

}  // namespace vx::platform

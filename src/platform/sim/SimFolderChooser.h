#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/FolderChooser.h"

namespace vx::platform::sim {

// A folder dialog the test answers in place of the user.
class SimFolderChooser : public FolderChooser {
  public:
    bool isAvailable() override { return available; }
    void chooseFolder(
        const std::filesystem::path& current,
        std::function<void(const std::optional<std::filesystem::path>& folder)> chosen) override {
        openedAt.push_back(current);
        chosen_ = std::move(chosen);
    }

    // The user's answer to the open dialog: a folder, or nothing for Cancel.
    void answer(const std::optional<std::filesystem::path>& folder) {
        if (auto chosen = std::exchange(chosen_, nullptr)) {
            chosen(folder);
        }
    }

    bool available = true;
    std::vector<std::filesystem::path> openedAt;  // one entry per dialog opened

  private:
    std::function<void(const std::optional<std::filesystem::path>&)> chosen_;
};

}  // namespace vx::platform::sim

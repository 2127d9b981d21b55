#pragma once

#include <vector>

#include "platform/Workspace.h"

namespace vx::platform::sim {

class SimWorkspace : public Workspace {
  public:
    void openPrivacySettings(PrivacyPane pane) override { openedPanes.push_back(pane); }
    void revealInFileManager(const std::filesystem::path& file) override {
        revealedFiles.push_back(file);
    }
    void openFolder(const std::filesystem::path& folder) override {
        openedFolders.push_back(folder);
    }
    void activateApp() override { ++activations; }
    std::vector<ScreenInfo> screens() override { return screenList; }

    std::vector<PrivacyPane> openedPanes;
    std::vector<std::filesystem::path> revealedFiles;
    std::vector<std::filesystem::path> openedFolders;
    int activations = 0;
    std::vector<ScreenInfo> screenList{{1, 1920, 1080}};
};

}  // namespace vx::platform::sim

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace vx::platform {

enum class PrivacyPane { screenRecording, microphone };

// A screen as the menu lists it.
struct ScreenInfo {
    std::optional<uint32_t> displayNumber;  // the ScreenCapture display id; none: unknown
    double widthPoints = 0;
    double heightPoints = 0;
};

// Called on the main thread. Nothing waits for the program or file manager
// it starts or asks.
class Workspace {
  public:
    virtual ~Workspace() = default;
    // Main thread; never blocks. Shows the user where the permission is granted;
    // the outcome is not reported.
    virtual void openPrivacySettings(PrivacyPane pane) = 0;
    // Main thread; never waits for the file manager. Shows the file selected in it.
    virtual void revealInFileManager(const std::filesystem::path& file) = 0;
    // Main thread; never waits for the handler. Opens the folder with the
    // desktop's default handler.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
    // Main thread; never blocks. Brings this application to the front.
    virtual void activateApp() = 0;
    // Main thread; never blocks: the list the desktop's services keep. The
    // screens in the desktop's order.
    virtual std::vector<ScreenInfo> screens() = 0;
};

}  // namespace vx::platform

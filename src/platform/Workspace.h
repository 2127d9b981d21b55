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
    // Shows the user where the permission is granted; the outcome is not reported.
    virtual void openPrivacySettings(PrivacyPane pane) = 0;
    // Shows the file selected in the file manager.
    virtual void revealInFileManager(const std::filesystem::path& file) = 0;
    // Opens the folder with the desktop's default handler.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
    // Brings this application to the front.
    virtual void activateApp() = 0;
    // The screens in the desktop's order, as the menu opens. Does not block on
    // the desktop: served from the display list the screen-capture service
    // keeps current. An X server is asked directly: a round trip, after any
    // screenshot in progress.
    virtual std::vector<ScreenInfo> screens() = 0;
};

}  // namespace vx::platform

#pragma once

#include <gio/gio.h>

#include <memory>

#include "platform/FolderChooser.h"
#include "platform/Log.h"

namespace vx::platform::linux_ {

// The desktop's folder dialog through the portal's FileChooser interface,
// which X11 desktops offer as well as Wayland ones. Whether there is one is
// asked once, without waiting; the dialog's answer comes on the main context
// of the thread that opened it. Answers that come after this object is gone
// are dropped.
class PortalFolderChooser : public FolderChooser {
  public:
    explicit PortalFolderChooser(Log& log);
    ~PortalFolderChooser() override;
    PortalFolderChooser(const PortalFolderChooser&) = delete;
    PortalFolderChooser& operator=(const PortalFolderChooser&) = delete;

    bool isAvailable() override;
    // A failure other than the user's Cancel is one log line.
    void chooseFolder(
        const std::filesystem::path& current,
        std::function<void(const std::optional<std::filesystem::path>& folder)> chosen) override;

  private:
    // What answers that come later may still reach while this object lives.
    struct Shared {
        Log& log;
        bool available = false;
    };

    // The session bus, reached on first use; nullptr when there is none.
    GDBusConnection* bus();
    static void onVersion(GObject* bus, GAsyncResult* result, gpointer shared);

    const std::shared_ptr<Shared> shared_;
    GDBusConnection* bus_ = nullptr;
    bool busTried_ = false;
    bool asked_ = false;
};

}  // namespace vx::platform::linux_

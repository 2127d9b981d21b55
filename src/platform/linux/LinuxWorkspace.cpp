#include "platform/linux/LinuxWorkspace.h"

#include <gio/gio.h>

#include <string>

#include "platform/linux/SessionType.h"

namespace vx::platform::linux_ {

namespace {

std::string fileUri(const std::filesystem::path& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string text = uri != nullptr ? uri : "";
    g_free(uri);
    return text;
}

// Opens with the desktop's default handler; never through a shell.
bool launchDefault(const std::filesystem::path& path, Log& log) {
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(fileUri(path).c_str(), nullptr, &error)) {
        return true;
    }
    log.line("Ventilux: cannot open " + path.string() + ": " +
             (error != nullptr ? error->message : "no handler") + ".");
    g_clear_error(&error);
    return false;
}

struct RevealRequest {
    std::filesystem::path file;
    Log* log;
};

void revealAnswered(GObject* source, GAsyncResult* result, gpointer data) {
    auto* request = static_cast<RevealRequest*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply != nullptr) {
        g_variant_unref(reply);
    } else {
        // No file manager on the bus: the folder at least.
        g_clear_error(&error);
        launchDefault(request->file.parent_path(), *request->log);
    }
    delete request;
}

}  // namespace

// An X11 session lets every client read the screen, so this is reached only
// where a desktop refused capture; there is no settings pane common to every
// Linux desktop, so the user is told in the log where the refusal came from.
void LinuxWorkspace::openPrivacySettings(PrivacyPane pane) {
    switch (pane) {
        case PrivacyPane::screenRecording:
            // On Wayland the desktop's own chooser, already on screen, is where consent is given.
            log_.line(
                currentSessionType() == SessionType::wayland
                    ? "Ventilux: choose the monitor to record in the desktop's screen-sharing "
                      "dialog, and let it remember the choice."
                    : "Ventilux: the desktop refused screen capture; allow screen sharing for "
                      "Ventilux in its privacy settings.");
            return;
        case PrivacyPane::microphone:
            log_.line(
                "Ventilux: the sound server refused the microphone; allow it in the desktop's "
                "sound or privacy settings.");
            return;
    }
}

void LinuxWorkspace::revealInFileManager(const std::filesystem::path& file) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        launchDefault(file.parent_path(), log_);
        return;
    }
    const gchar* uris[] = {nullptr, nullptr};
    const std::string uri = fileUri(file);
    uris[0] = uri.c_str();
    g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                           "org.freedesktop.FileManager1", "ShowItems",
                           g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                           nullptr, revealAnswered, new RevealRequest{file, &log_});
    g_object_unref(bus);
}

void LinuxWorkspace::openFolder(const std::filesystem::path& folder) {
    launchDefault(folder, log_);
}

std::vector<ScreenInfo> LinuxWorkspace::screens() {
    std::vector<ScreenInfo> screens;
    screenCapture_.shareableContent([&screens](std::expected<ShareableContent, Error> content) {
        if (!content) {
            return;
        }
        for (const auto& display : content->displays) {
            screens.push_back({display.displayID, static_cast<double>(display.width),
                               static_cast<double>(display.height)});
        }
    });
    return screens;
}

}  // namespace vx::platform::linux_

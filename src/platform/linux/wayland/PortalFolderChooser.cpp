#include "platform/linux/wayland/PortalFolderChooser.h"

#include <string>
#include <utility>

#include "platform/linux/wayland/AsyncPortalRequest.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kFileChooser = "org.freedesktop.portal.FileChooser";
// Folders, rather than files, can be chosen from this version on.
constexpr uint32_t kFirstVersionWithFolders = 3;
constexpr const char* kTitle = "Choose Recordings Folder";

using Failure = AsyncPortalRequest::Failure;

// The first chosen location as a local path; the portal names local folders
// with file:// URIs.
std::optional<std::filesystem::path> firstFolder(GVariant* results) {
    GVariant* uris = g_variant_lookup_value(results, "uris", G_VARIANT_TYPE_STRING_ARRAY);
    if (uris == nullptr) {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> folder;
    if (g_variant_n_children(uris) > 0) {
        const gchar* uri = nullptr;
        g_variant_get_child(uris, 0, "&s", &uri);
        if (gchar* path = g_filename_from_uri(uri, nullptr, nullptr)) {
            folder = std::filesystem::path(path);
            g_free(path);
        }
    }
    g_variant_unref(uris);
    return folder;
}

}  // namespace

PortalFolderChooser::PortalFolderChooser(Log& log)
    : shared_(std::make_shared<Shared>(Shared{log})) {}

PortalFolderChooser::~PortalFolderChooser() {
    if (bus_ != nullptr) {
        g_object_unref(bus_);
    }
}

GDBusConnection* PortalFolderChooser::bus() {
    if (!busTried_) {
        busTried_ = true;
        bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    }
    return bus_;
}

// The bus may start the portal for the question; a portal without the
// interface, or none at all, says so at once.
bool PortalFolderChooser::isAvailable() {
    if (!std::exchange(asked_, true) && bus() != nullptr) {
        g_dbus_connection_call(bus_, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties",
                               "Get", g_variant_new("(ss)", kFileChooser, "version"),
                               G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                               &PortalFolderChooser::onVersion, new std::weak_ptr<Shared>(shared_));
    }
    return shared_->available;
}

void PortalFolderChooser::onVersion(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::weak_ptr<Shared>> weak(static_cast<std::weak_ptr<Shared>*>(data));
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
    if (reply == nullptr) {
        return;
    }
    GVariant* version = nullptr;
    g_variant_get(reply, "(v)", &version);
    if (std::shared_ptr<Shared> shared = weak->lock()) {
        shared->available = g_variant_is_of_type(version, G_VARIANT_TYPE_UINT32) &&
                            g_variant_get_uint32(version) >= kFirstVersionWithFolders;
    }
    g_variant_unref(version);
    g_variant_unref(reply);
}

void PortalFolderChooser::chooseFolder(
    const std::filesystem::path& current,
    std::function<void(const std::optional<std::filesystem::path>& folder)> chosen) {
    if (bus() == nullptr) {
        chosen(std::nullopt);
        return;
    }
    AsyncPortalRequest::start(
        bus_, kFileChooser, "OpenFile",
        [&](const std::string& token) {
            GVariantBuilder options;
            g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
            g_variant_builder_add(&options, "{sv}", "handle_token",
                                  g_variant_new_string(token.c_str()));
            g_variant_builder_add(&options, "{sv}", "directory", g_variant_new_boolean(TRUE));
            // A byte string with its terminating NUL, as the portal documents it.
            g_variant_builder_add(&options, "{sv}", "current_folder",
                                  g_variant_new_bytestring(current.c_str()));
            return g_variant_new("(ss@a{sv})", "", kTitle, g_variant_builder_end(&options));
        },
        [weak = std::weak_ptr<Shared>(shared_),
         chosen = std::move(chosen)](std::expected<GVariant*, Failure> results) {
            const std::shared_ptr<Shared> shared = weak.lock();
            if (!shared) {
                return;
            }
            if (!results) {
                if (results.error().kind != Failure::Kind::declined) {
                    shared->log.line("Ventilux: the desktop's folder chooser failed: " +
                                     results.error().reason + ".");
                }
                chosen(std::nullopt);
                return;
            }
            const std::optional<std::filesystem::path> folder = firstFolder(*results);
            if (!folder) {
                shared->log.line("Ventilux: the desktop's folder chooser named no local folder.");
            }
            chosen(folder);
        });
}

}  // namespace vx::platform::linux_

#include "platform/linux/wayland/ScreenCastPortal.h"

#include <gio/gunixfdlist.h>

#include "platform/linux/wayland/AsyncPortalRequest.h"
#include "platform/linux/wayland/PortalRequest.h"
#include "platform/linux/wayland/ScreenCastErrors.h"

namespace vx::platform::linux_ {

namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr uint32_t kMonitorSource = 1;
constexpr uint32_t kCursorHidden = 1;
constexpr uint32_t kCursorEmbedded = 2;
// Kept until the user revokes it, rather than for this run of the program only.
constexpr uint32_t kPersistUntilRevoked = 2;
// Restore tokens came with version 4; earlier portals ask every time.
constexpr uint32_t kRestoreVersion = 4;

// Options of a portal call, starting with the request's token.
void startOptions(GVariantBuilder& options, const std::string& handleToken) {
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token",
                          g_variant_new_string(handleToken.c_str()));
}

// The first stream of Start's results: its node and where it lies.
std::expected<void, Error> readStream(GVariant* results, uint32_t& node,
                                      std::optional<CastArea>& area) {
    GVariant* streams = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
    if (streams == nullptr || g_variant_n_children(streams) == 0) {
        if (streams != nullptr) {
            g_variant_unref(streams);
        }
        return std::unexpected(
            screenCastError(ScreenCastErrorCode::refused, "The desktop shared no monitor."));
    }
    GVariant* properties = nullptr;
    g_variant_get_child(streams, 0, "(u@a{sv})", &node, &properties);
    CastArea found;
    const bool placed = g_variant_lookup(properties, "position", "(ii)", &found.x, &found.y);
    const bool sized = g_variant_lookup(properties, "size", "(ii)", &found.width, &found.height);
    if (placed && sized) {
        area = found;
    }
    g_variant_unref(properties);
    g_variant_unref(streams);
    return {};
}

}  // namespace

ScreenCastSession::ScreenCastSession(GDBusConnection* bus, std::string handle)
    : bus_(bus), handle_(std::move(handle)) {}

ScreenCastSession::~ScreenCastSession() {
    AsyncPortalRequest::closeSession(bus_, handle_);
    g_object_unref(bus_);
}

std::expected<std::unique_ptr<ScreenCastSession>, Error> ScreenCastPortal::open(
    const Request& request) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::portalMissing,
                                               "There is no desktop session bus to ask for "
                                               "screen sharing."));
    }
    const uint32_t version = AsyncPortalRequest::uint32Property(bus, kScreenCast, "version");
    if (version == 0) {
        g_object_unref(bus);
        return std::unexpected(
            screenCastError(ScreenCastErrorCode::portalMissing,
                            "This desktop offers no screen sharing to applications."));
    }

    const std::string sessionToken = AsyncPortalRequest::newToken();
    auto created = PortalRequest::call(
        bus, kScreenCast, "CreateSession",
        [&](const std::string& handleToken) {
            GVariantBuilder options;
            startOptions(options, handleToken);
            g_variant_builder_add(&options, "{sv}", "session_handle_token",
                                  g_variant_new_string(sessionToken.c_str()));
            return g_variant_new("(a{sv})", &options);
        },
        request.deadline, request.cancellable, "start a session");
    if (!created) {
        g_object_unref(bus);
        return std::unexpected(created.error());
    }
    const auto handle = AsyncPortalRequest::sessionHandle(created->get());
    if (!handle) {
        g_object_unref(bus);
        return std::unexpected(screenCastError(ScreenCastErrorCode::refused,
                                               "The desktop's screen sharing gave no session."));
    }
    // From here on the session closes itself if anything fails.
    std::unique_ptr<ScreenCastSession> session(new ScreenCastSession(bus, *handle));

    const uint32_t cursorModes =
        AsyncPortalRequest::uint32Property(bus, kScreenCast, "AvailableCursorModes");
    const uint32_t cursorMode = request.showsCursor && (cursorModes & kCursorEmbedded) != 0
                                    ? kCursorEmbedded
                                    : kCursorHidden;
    auto selected = PortalRequest::call(
        bus, kScreenCast, "SelectSources",
        [&](const std::string& handleToken) {
            GVariantBuilder options;
            startOptions(options, handleToken);
            g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kMonitorSource));
            g_variant_builder_add(&options, "{sv}", "multiple", g_variant_new_boolean(FALSE));
            if ((cursorModes & cursorMode) != 0) {
                g_variant_builder_add(&options, "{sv}", "cursor_mode",
                                      g_variant_new_uint32(cursorMode));
            }
            if (version >= kRestoreVersion) {
                g_variant_builder_add(&options, "{sv}", "persist_mode",
                                      g_variant_new_uint32(kPersistUntilRevoked));
                if (request.restoreToken && !request.restoreToken->empty()) {
                    g_variant_builder_add(&options, "{sv}", "restore_token",
                                          g_variant_new_string(request.restoreToken->c_str()));
                }
            }
            return g_variant_new("(oa{sv})", session->handle_.c_str(), &options);
        },
        request.deadline, request.cancellable, "choose a monitor");
    if (!selected) {
        return std::unexpected(selected.error());
    }

    auto started = PortalRequest::call(
        bus, kScreenCast, "Start",
        [&](const std::string& handleToken) {
            GVariantBuilder options;
            startOptions(options, handleToken);
            return g_variant_new("(osa{sv})", session->handle_.c_str(), "", &options);
        },
        request.deadline, request.cancellable, "share the screen");
    if (!started) {
        return std::unexpected(started.error());
    }
    if (auto read = readStream(started->get(), session->node_, session->area_); !read) {
        return std::unexpected(read.error());
    }
    const gchar* token = nullptr;
    if (g_variant_lookup(started->get(), "restore_token", "&s", &token)) {
        session->restoreToken_ = token;
    }

    GVariantBuilder none;
    g_variant_builder_init(&none, G_VARIANT_TYPE_VARDICT);
    GUnixFDList* fds = nullptr;
    GError* failure = nullptr;
    GVariant* remote = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, kPortalName, kPortalPath, kScreenCast, "OpenPipeWireRemote",
        g_variant_new("(oa{sv})", session->handle_.c_str(), &none), G_VARIANT_TYPE("(h)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &fds, request.cancellable, &failure);
    if (remote == nullptr) {
        Error error = screenCastError(
            ScreenCastErrorCode::refused,
            std::string("The desktop did not hand over the screen: ") + failure->message);
        g_error_free(failure);
        return std::unexpected(std::move(error));
    }
    gint32 index = -1;
    g_variant_get(remote, "(h)", &index);
    g_variant_unref(remote);
    const int fd = fds != nullptr ? g_unix_fd_list_get(fds, index, nullptr) : -1;
    if (fds != nullptr) {
        g_object_unref(fds);
    }
    if (fd < 0) {
        return std::unexpected(screenCastError(ScreenCastErrorCode::refused,
                                               "The desktop did not hand over the screen."));
    }
    session->pipeWire_ = UniqueFd(fd);
    return session;
}

}  // namespace vx::platform::linux_

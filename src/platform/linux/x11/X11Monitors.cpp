#include "platform/linux/x11/X11Monitors.h"

#include <xcb/randr.h>

#include <algorithm>
#include <optional>

namespace vx::platform::linux_ {

X11Monitors::X11Monitors(const XcbConnection& connection) : connection_(connection) {
    const xcb_query_extension_reply_t* randr =
        xcb_get_extension_data(connection.get(), &xcb_randr_id);
    if (randr == nullptr || randr->present == 0) {
        return;
    }
    xcb_generic_error_t* error = nullptr;
    auto version = connection.answer(
        xcb_randr_query_version_reply(connection.get(),
                                      xcb_randr_query_version(connection.get(), 1, 5), &error),
        error, "tell its RandR version");
    hasMonitorList_ =
        version && ((*version)->major_version > 1 ||
                    ((*version)->major_version == 1 && (*version)->minor_version >= 5));
}

std::expected<std::vector<X11Monitor>, Error> X11Monitors::list() const {
    xcb_connection_t* c = connection_.get();
    // Both questions go out before either answer is awaited: one round trip, not two.
    // The screen's size is asked afresh, as RandR may have resized it since we connected.
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, connection_.root());
    std::optional<xcb_randr_get_monitors_cookie_t> monitorsCookie;
    if (hasMonitorList_) {
        monitorsCookie = xcb_randr_get_monitors(c, connection_.root(), 1);
    }
    xcb_generic_error_t* error = nullptr;
    auto root = connection_.answer(xcb_get_geometry_reply(c, geometryCookie, &error), error,
                                   "describe its screen");
    if (!root) {
        if (monitorsCookie) {
            xcb_discard_reply(c, monitorsCookie->sequence);
        }
        return std::unexpected(root.error());
    }
    if (monitorsCookie) {
        auto monitors = fromRandr(*monitorsCookie, **root);
        if (!monitors || !monitors->empty()) {
            return monitors;
        }
    }
    return std::vector<X11Monitor>{
        {connection_.root(), 0, 0, (*root)->width, (*root)->height, true}};
}

std::expected<std::vector<X11Monitor>, Error> X11Monitors::fromRandr(
    xcb_randr_get_monitors_cookie_t cookie, const xcb_get_geometry_reply_t& root) const {
    xcb_generic_error_t* error = nullptr;
    auto reply = connection_.answer(xcb_randr_get_monitors_reply(connection_.get(), cookie, &error),
                                    error, "list its monitors");
    if (!reply) {
        return std::unexpected(reply.error());
    }
    std::vector<X11Monitor> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply->get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& info = *it.data;
        // A monitor may be declared partly off the screen; only what is on it can be captured.
        const int left = std::max<int>(info.x, 0);
        const int top = std::max<int>(info.y, 0);
        const int right = std::min<int>(info.x + info.width, root.width);
        const int bottom = std::min<int>(info.y + info.height, root.height);
        if (info.name == XCB_ATOM_NONE || right <= left || bottom <= top) {
            continue;
        }
        monitors.push_back({info.name, left, top, right - left, bottom - top, info.primary != 0});
    }
    return monitors;
}

}  // namespace vx::platform::linux_

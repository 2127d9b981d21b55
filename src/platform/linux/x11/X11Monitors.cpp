#include "platform/linux/x11/X11Monitors.h"

#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <algorithm>

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

X11Monitors::Asked X11Monitors::ask() const {
    xcb_connection_t* c = connection_.get();
    // Both questions go out before either answer is awaited: one round trip, not two.
    // The screen's size is asked afresh, as RandR may have resized it since we connected.
    Asked asked{};
    if (hasMonitorList_) {
        asked.monitors = xcb_randr_get_monitors(c, connection_.root(), 1);
    }
    asked.root = xcb_get_geometry(c, connection_.root());
    return asked;
}

X11Monitors::List X11Monitors::answer(const Asked& asked) const {
    xcb_generic_error_t* error = nullptr;
    return fromAnswers(
        asked, connection_.answer(xcb_get_geometry_reply(connection_.get(), asked.root, &error),
                                  error, "describe its screen"));
}

std::optional<X11Monitors::List> X11Monitors::answerIfIn(const Asked& asked) const {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(connection_.get(), asked.root.sequence, &reply, &error) == 0) {
        return std::nullopt;
    }
    return fromAnswers(asked, connection_.answer(static_cast<xcb_get_geometry_reply_t*>(reply),
                                                 error, "describe its screen"));
}

X11Monitors::List X11Monitors::fromAnswers(
    const Asked& asked, std::expected<XcbReply<xcb_get_geometry_reply_t>, Error> root) const {
    if (!root) {
        if (asked.monitors) {
            xcb_discard_reply(connection_.get(), asked.monitors->sequence);
        }
        return std::unexpected(root.error());
    }
    if (asked.monitors) {
        auto monitors = fromRandr(*asked.monitors, **root);
        if (!monitors || !monitors->empty()) {
            return monitors;
        }
    }
    return std::vector<X11Monitor>{
        {connection_.root(), 0, 0, (*root)->width, (*root)->height, true}};
}

X11Monitors::List X11Monitors::fromRandr(xcb_randr_get_monitors_cookie_t cookie,
                                         const xcb_get_geometry_reply_t& root) const {
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

#include "platform/linux/x11/X11CursorSource.h"

#include <xcb/xfixes.h>

namespace vx::platform::linux_ {

X11CursorSource::X11CursorSource(const XcbConnection& connection) : connection_(connection) {
    const xcb_query_extension_reply_t* xfixes =
        xcb_get_extension_data(connection.get(), &xcb_xfixes_id);
    if (xfixes == nullptr || xfixes->present == 0) {
        return;
    }
    // XFIXES answers nothing else until a client has told it which version it speaks.
    xcb_generic_error_t* error = nullptr;
    auto version =
        connection.answer(xcb_xfixes_query_version_reply(
                              connection.get(),
                              xcb_xfixes_query_version(connection.get(), XCB_XFIXES_MAJOR_VERSION,
                                                       XCB_XFIXES_MINOR_VERSION),
                              &error),
                          error, "tell its XFIXES version");
    available_ = version && (*version)->major_version >= 1;
}

X11CursorSource::Asked X11CursorSource::ask() const {
    if (!available_) {
        return std::nullopt;
    }
    return xcb_xfixes_get_cursor_image(connection_.get());
}

std::optional<CursorImage> X11CursorSource::answer(Asked asked) const {
    if (!asked) {
        return std::nullopt;
    }
    xcb_generic_error_t* error = nullptr;
    auto reply =
        connection_.answer(xcb_xfixes_get_cursor_image_reply(connection_.get(), *asked, &error),
                           error, "show the pointer");
    if (!reply) {
        return std::nullopt;
    }
    const xcb_xfixes_get_cursor_image_reply_t& image = **reply;
    const int length = xcb_xfixes_get_cursor_image_cursor_image_length(&image);
    if (length != int(image.width) * image.height) {
        return std::nullopt;
    }
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(&image);
    return CursorImage{image.x - image.xhot, image.y - image.yhot, image.width, image.height,
                       std::vector<uint32_t>(pixels, pixels + length)};
}

}  // namespace vx::platform::linux_

#include "platform/linux/x11/XcbConnection.h"

#include <cstdlib>
#include <string>
#include <utility>

namespace vx::platform::linux_ {

Error x11Error(X11ErrorCode code, std::string description) {
    return Error{kX11ErrorDomain, static_cast<int64_t>(code), std::move(description)};
}

std::expected<XcbConnection, Error> XcbConnection::open(const std::string& displayName) {
    std::string shownName = displayName;
    if (shownName.empty()) {
        const char* fromEnvironment = std::getenv("DISPLAY");
        shownName = fromEnvironment != nullptr ? fromEnvironment : "";
    }
    if (shownName.empty()) {
        return std::unexpected(x11Error(X11ErrorCode::cannotConnect,
                                        "Cannot open the X display: DISPLAY is not set."));
    }
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, Disconnect> connection(
        xcb_connect(shownName.c_str(), &screenNumber));
    if (xcb_connection_has_error(connection.get()) != 0) {
        return std::unexpected(
            x11Error(X11ErrorCode::cannotConnect, "Cannot open the X display " + shownName + "."));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return std::unexpected(x11Error(X11ErrorCode::cannotConnect,
                                        "The X display " + shownName + " has no such screen."));
    }
    return XcbConnection(std::move(connection), screens.data, std::move(shownName));
}

XcbConnection::XcbConnection(std::unique_ptr<xcb_connection_t, Disconnect> connection,
                             const xcb_screen_t* screen, std::string displayName)
    : connection_(std::move(connection)), screen_(screen), displayName_(std::move(displayName)) {}

Error XcbConnection::lostError() const {
    return x11Error(X11ErrorCode::connectionLost,
                    "The connection to the X display " + displayName_ + " was lost.");
}

Error XcbConnection::refusedError(std::string_view request,
                                  const xcb_generic_error_t* error) const {
    return x11Error(X11ErrorCode::serverRefused, "The X display " + displayName_ + " refused to " +
                                                     std::string(request) + " (X error " +
                                                     std::to_string(error->error_code) + ").");
}

}  // namespace vx::platform::linux_

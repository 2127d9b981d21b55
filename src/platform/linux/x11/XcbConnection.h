#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace vx::platform::linux_ {

// The error domain of every failure that comes from the X server or the way to it.
inline constexpr const char* kX11ErrorDomain = "X11";

enum class X11ErrorCode : int64_t {
    cannotConnect = 1,
    connectionLost = 2,
    displayGone = 3,
    unsupportedFormat = 4,
    badRequest = 5,
    serverRefused = 6,
};

Error x11Error(X11ErrorCode code, std::string description);

// Replies and errors that xcb hands over are malloc'ed and ours to free.
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, XcbFree>;

// One client connection to an X server and its default screen; closed on destruction.
class XcbConnection {
  public:
    // `displayName` empty means the display named by DISPLAY.
    static std::expected<XcbConnection, Error> open(const std::string& displayName);

    xcb_connection_t* get() const { return connection_.get(); }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }
    // True once the connection is unusable (server gone, protocol error on the stream).
    bool broken() const { return xcb_connection_has_error(connection_.get()) != 0; }

    // Takes ownership of what an xcb_*_reply call returned: the reply, or the failure
    // to report when the server refused `request` or the connection broke.
    template <class T>
    std::expected<XcbReply<T>, Error> answer(T* reply, xcb_generic_error_t* error,
                                             std::string_view request) const {
        XcbReply<T> owned(reply);
        XcbReply<xcb_generic_error_t> ownedError(error);
        if (owned) {
            return owned;
        }
        return std::unexpected(ownedError ? refusedError(request, ownedError.get()) : lostError());
    }

    // The failure to report after a request got neither a reply nor an error.
    Error lostError() const;
    // The failure to report for an X protocol error answering `request`.
    Error refusedError(std::string_view request, const xcb_generic_error_t* error) const;

  private:
    struct Disconnect {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };
    XcbConnection(std::unique_ptr<xcb_connection_t, Disconnect> connection,
                  const xcb_screen_t* screen, std::string displayName);

    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    const xcb_screen_t* screen_;  // inside the connection's setup data
    std::string displayName_;
};

}  // namespace vx::platform::linux_

#include "platform/linux/x11/X11Session.h"

#include <utility>

namespace vx::platform::linux_ {

std::expected<std::unique_ptr<X11Session>, Error> X11Session::open(const std::string& displayName) {
    auto connection = XcbConnection::open(displayName);
    if (!connection) {
        return std::unexpected(connection.error());
    }
    std::unique_ptr<X11Session> session(new X11Session(std::move(*connection)));
    auto grabber = X11FrameGrabber::create(session->connection_);
    if (!grabber) {
        return std::unexpected(grabber.error());
    }
    session->grabber_ = std::move(*grabber);
    return session;
}

X11Session::X11Session(XcbConnection connection)
    : connection_(std::move(connection)), monitors_(connection_), cursor_(connection_) {}

}  // namespace vx::platform::linux_

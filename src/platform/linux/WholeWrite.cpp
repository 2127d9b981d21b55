#include "platform/linux/WholeWrite.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace vx::platform::linux_ {

void writeWhole(int fd, std::string_view text) {
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written >= 0) {
            rest.remove_prefix(static_cast<size_t>(written));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A non-blocking stream that is full: wait until it drains.
            pollfd stream{fd, POLLOUT, 0};
            ::poll(&stream, 1, -1);
        } else if (errno != EINTR) {
            return;
        }
    }
}

}  // namespace vx::platform::linux_

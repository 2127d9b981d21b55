#include "platform/linux/LinuxStdErr.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace vx::platform::linux_ {

void LinuxStdErr::write(const std::string& text) {
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (written >= 0) {
            rest.remove_prefix(static_cast<size_t>(written));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A non-blocking stream that is full: wait until it drains.
            pollfd stream{STDERR_FILENO, POLLOUT, 0};
            ::poll(&stream, 1, -1);
        } else if (errno != EINTR) {
            return;  // closed or broken: nobody is left to read the line
        }
    }
}

}  // namespace vx::platform::linux_

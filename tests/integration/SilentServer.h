#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

namespace vx::fixtures {

// A socket that takes connections and never says a word, like a hung sound server.
class SilentServer {
  public:
    explicit SilentServer(const std::filesystem::path& path)
        : path_(path), fd_(socket(AF_UNIX, SOCK_STREAM, 0)) {
        std::filesystem::remove(path_);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.native().copy(address.sun_path, sizeof(address.sun_path) - 1);
        listening_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                     listen(fd_, 4) == 0;
    }
    ~SilentServer() {
        close(fd_);
        std::filesystem::remove(path_);
    }
    bool listening() const { return listening_; }

  private:
    std::filesystem::path path_;
    int fd_;
    bool listening_ = false;
};

}  // namespace vx::fixtures

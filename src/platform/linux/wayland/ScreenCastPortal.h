#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "platform/Types.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace vx::platform::linux_ {

// Where the shared monitor lies on the desktop, as the portal reports it.
struct CastArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A screen-cast session the user has allowed: one monitor's picture as a
// PipeWire node, reached through its own connection to PipeWire. Closing the
// session ends the cast, so it is closed when this goes.
class ScreenCastSession {
  public:
    ~ScreenCastSession();
    ScreenCastSession(const ScreenCastSession&) = delete;
    ScreenCastSession& operator=(const ScreenCastSession&) = delete;

    uint32_t node() const { return node_; }
    std::optional<CastArea> area() const { return area_; }
    // Opens this session again without asking; empty when the desktop keeps no
    // permission. Each token is good for one opening.
    const std::string& restoreToken() const { return restoreToken_; }
    // The connection to PipeWire that shows this session's node; taken once.
    UniqueFd takePipeWire() { return std::move(pipeWire_); }

  private:
    friend class ScreenCastPortal;
    ScreenCastSession(GDBusConnection* bus, std::string handle);

    GDBusConnection* bus_;
    std::string handle_;
    uint32_t node_ = 0;
    std::optional<CastArea> area_;
    std::string restoreToken_;
    UniqueFd pipeWire_;
};

// The xdg-desktop-portal ScreenCast interface: one monitor, consent kept until
// the user revokes it.
class ScreenCastPortal {
  public:
    struct Request {
        // From an earlier session; without one, or when it is no longer good,
        // the desktop asks the user to choose a monitor.
        std::optional<std::string> restoreToken;
        bool showsCursor = true;
        // How long the user may take to answer.
        std::chrono::milliseconds deadline{10000};
        GCancellable* cancellable = nullptr;
    };

    static std::expected<std::unique_ptr<ScreenCastSession>, Error> open(const Request& request);
};

}  // namespace vx::platform::linux_

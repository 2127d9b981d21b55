#pragma once

#include <expected>
#include <functional>
#include <memory>

#include "platform/Types.h"

namespace vx::platform {

// What another process may ask the running copy to do.
enum class RemoteRequest { toggle, start, stop };

// What the running copy shows to those who watch it from outside.
struct RemoteState {
    bool recording = false;
    bool countingDown = false;
    bool operator==(const RemoteState&) const = default;
};

// The running copy as other processes reach it, for as long as this lives.
class RemoteEndpoint {
  public:
    virtual ~RemoteEndpoint() = default;
    // Watchers hear of it when it differs from the state published before.
    virtual void publish(const RemoteState& state) = 0;
};

// Control of the one interactive copy by other processes of the same user in
// the same desktop session: scripts, and desktops without a tray or hot key.
class RemoteControl {
  public:
    virtual ~RemoteControl() = default;
    // The interactive copy: requests come to `handler` on the main thread while
    // the endpoint lives. Another user's requests are refused before they get
    // here. Never nullptr; where nobody can reach this copy, it says so once in
    // the log and the endpoint takes states without telling anyone.
    virtual std::unique_ptr<RemoteEndpoint> serve(std::function<void(RemoteRequest)> handler) = 0;
    // Any other process: hands `request` to the interactive copy. `done` runs
    // once, on the main thread: with nothing when the copy took the request,
    // or with why not as one whole sentence.
    virtual void send(RemoteRequest request,
                      std::function<void(std::expected<void, Error> taken)> done) = 0;
};

}  // namespace vx::platform

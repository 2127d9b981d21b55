#pragma once

#include "platform/Log.h"
#include "platform/RemoteControl.h"

namespace vx::platform::linux_ {

// Control of the running copy over the session bus (see RemoteControlObject),
// which is reached only when a copy serves or a request is sent.
class DbusRemoteControl : public RemoteControl {
  public:
    explicit DbusRemoteControl(Log& log) : log_(log) {}

    // Serve on the main thread: the bus calls the handler there. Only this
    // process's own user is served.
    std::unique_ptr<RemoteEndpoint> serve(std::function<void(RemoteRequest)> handler) override;
    // Waits at most 1 s for the running copy's answer, so that a program that
    // holds the name without answering keeps a script or a shortcut waiting
    // no longer; a copy that serves answers at once.
    void send(RemoteRequest request,
              std::function<void(std::expected<void, Error> taken)> done) override;

  private:
    Log& log_;
};

}  // namespace vx::platform::linux_

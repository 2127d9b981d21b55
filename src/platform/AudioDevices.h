#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vx::platform {

struct AudioInput {
    std::string uniqueID;
    std::string localizedName;
};

enum class MicrophoneAuthorization { notDetermined, restricted, denied, authorized };

class AudioDevices {
  public:
    virtual ~AudioDevices() = default;
    // Main thread; never blocks. The present audio inputs in the system's order, as
    // last heard from the system (empty before it first answers); may repeat an id.
    virtual std::vector<AudioInput> inputs() = 0;
    // Main thread; never blocks. Runs `then` on the main thread once inputs() gives
    // the system's list, or once it is clear that none will come soon; at once
    // when it already does.
    virtual void whenListed(std::function<void()> then) = 0;
    // Main thread; never blocks.
    virtual MicrophoneAuthorization authorizationStatus() = 0;
    // Main thread; never blocks. `handler` runs once, on any thread, with the user's answer.
    virtual void requestAccess(std::function<void(bool)> handler) = 0;
};

}  // namespace vx::platform

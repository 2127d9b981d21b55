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
    // The present audio inputs in the system's order; may repeat an id. Called
    // on the main thread as the menu opens. Does not block: served from the
    // list the service keeps current as inputs come and go.
    virtual std::vector<AudioInput> inputs() = 0;
    // Main thread and background tasks; does not block.
    virtual MicrophoneAuthorization authorizationStatus() = 0;
    // Called on the main thread; does not wait for the answer. `handler` runs
    // once, on any thread, with the user's answer.
    virtual void requestAccess(std::function<void(bool)> handler) = 0;
};

}  // namespace vx::platform

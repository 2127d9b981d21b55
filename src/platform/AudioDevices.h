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
    // The present audio inputs in the system's order; may repeat an id.
    virtual std::vector<AudioInput> inputs() = 0;
    virtual MicrophoneAuthorization authorizationStatus() = 0;
    // `handler` runs once, on any thread, with the user's answer.
    virtual void requestAccess(std::function<void(bool)> handler) = 0;
};

}  // namespace vx::platform

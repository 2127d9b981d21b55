#include "capture/AudioSources.h"

#include <set>

#include "platform/Services.h"

namespace vx::AudioSources {

std::vector<Device> inputs() {
    std::vector<Device> devices;
    std::set<std::string> taken;
    for (const auto& input : platform::services().audioDevices->inputs()) {
        if (taken.insert(input.uniqueID).second) {
            devices.push_back({input.uniqueID, input.localizedName});
        }
    }
    return devices;
}

std::optional<std::string> name(const std::string& id) {
    for (const auto& device : inputs()) {
        if (device.id == id) {
            return device.name;
        }
    }
    return std::nullopt;
}

void requestAccess(std::function<void(bool)> completion) {
    auto& devices = *platform::services().audioDevices;
    switch (devices.authorizationStatus()) {
        case platform::MicrophoneAuthorization::authorized:
            completion(true);
            return;
        case platform::MicrophoneAuthorization::notDetermined:
            devices.requestAccess(std::move(completion));
            return;
        case platform::MicrophoneAuthorization::restricted:
        case platform::MicrophoneAuthorization::denied:
            completion(false);
            return;
    }
}

}  // namespace vx::AudioSources

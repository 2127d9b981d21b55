#pragma once

#include <optional>

#include "platform/AudioDevices.h"

namespace vx::platform::sim {

class SimAudioDevices : public AudioDevices {
  public:
    std::vector<AudioInput> inputs() override { return present; }
    MicrophoneAuthorization authorizationStatus() override { return authorization; }
    void requestAccess(std::function<void(bool)> handler) override {
        ++accessRequests;
        handler(answerToRequest);
    }

    std::vector<AudioInput> present;
    MicrophoneAuthorization authorization = MicrophoneAuthorization::authorized;
    bool answerToRequest = true;
    int accessRequests = 0;
};

}  // namespace vx::platform::sim

#pragma once

#include <optional>
#include <utility>

#include "platform/AudioDevices.h"

namespace vx::platform::sim {

class SimAudioDevices : public AudioDevices {
  public:
    std::vector<AudioInput> inputs() override { return present; }
    void whenListed(std::function<void()> then) override {
        if (listingHeld) {
            waiting_.push_back(std::move(then));
        } else {
            then();
        }
    }
    MicrophoneAuthorization authorizationStatus() override { return authorization; }
    void requestAccess(std::function<void(bool)> handler) override {
        ++accessRequests;
        handler(answerToRequest);
    }

    // The system answers, and every whenListed() still waiting runs.
    void releaseListing() {
        listingHeld = false;
        for (auto& then : std::exchange(waiting_, {})) {
            then();
        }
    }

    std::vector<AudioInput> present;
    bool listingHeld = false;  // the system has not answered yet
    MicrophoneAuthorization authorization = MicrophoneAuthorization::authorized;
    bool answerToRequest = true;
    int accessRequests = 0;

  private:
    std::vector<std::function<void()>> waiting_;
};

}  // namespace vx::platform::sim

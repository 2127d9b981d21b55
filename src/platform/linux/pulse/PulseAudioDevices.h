#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/AudioDevices.h"

namespace vx::platform::linux_ {

// Microphones as the PulseAudio server (or PipeWire's pulse server) lists them: every
// source that is not the monitor of an output. Desktop Linux has no per-application
// microphone permission, so access is always granted.
class PulseAudioDevices : public AudioDevices {
  public:
    // `server` empty means the user's default server (PULSE_SERVER, client.conf, ...).
    explicit PulseAudioDevices(std::string server = {});

    // Empty when no sound server answers within a second: a menu must never hang on it.
    std::vector<AudioInput> inputs() override;
    MicrophoneAuthorization authorizationStatus() override {
        return MicrophoneAuthorization::authorized;
    }
    void requestAccess(std::function<void(bool)> handler) override { handler(true); }

  private:
    const std::string server_;
};

}  // namespace vx::platform::linux_

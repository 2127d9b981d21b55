#include "app/RealtimeSelfTest.h"

#include <algorithm>
#include <optional>

#include "platform/Services.h"

#include "app/SelfTestReport.h"
#include "capture/AudioSources.h"
#include "realtime/RealtimeRecorder.h"
#include "settings/Settings.h"

namespace vx {

namespace {

constexpr double kTestScale = 0.25;
constexpr double kStopAfter = 6.0;
constexpr double kGiveUpAfter = 30.0;
constexpr int kNoResultStatus = 2;

// The user's values of what the run changes, to be written back.
struct SavedSettings {
    bool capturesSystemAudio;
    std::optional<std::string> microphoneDeviceID;
    double resolutionScale;

    void restore(Settings& settings) const {
        settings.setCapturesSystemAudio(capturesSystemAudio);
        settings.setMicrophoneDeviceID(microphoneDeviceID);
        settings.setResolutionScale(resolutionScale);
    }
};

std::optional<AudioSources::Device> chooseMicrophone(
    const std::vector<AudioSources::Device>& inputs) {
    auto preferred = std::find_if(inputs.begin(), inputs.end(), [](const auto& device) {
        return device.name.find("MacBook") != std::string::npos;
    });
    if (preferred != inputs.end()) {
        return *preferred;
    }
    if (inputs.empty()) {
        return std::nullopt;
    }
    return inputs.front();
}

// The run proper, once the system has listed its microphones.
void record(const std::shared_ptr<Settings>& settings, std::shared_ptr<Recorder>& testRecorder,
            const SavedSettings& saved, bool micOnly) {
    auto& dispatch = *platform::services().dispatch;
    const auto inputs = AudioSources::inputs();
    settings->setCapturesSystemAudio(!micOnly);
    const auto microphone = chooseMicrophone(inputs);
    settings->setMicrophoneDeviceID(microphone ? std::optional(microphone->id) : std::nullopt);
    settings->setResolutionScale(kTestScale);

    std::string micName = "none";
    if (auto chosen = settings->microphoneDeviceID()) {
        micName = AudioSources::name(*chosen).value_or("none");
    }
    SelfTestReport::line(std::string("SELFTEST-RT: system audio ") + (micOnly ? "off" : "on") +
                         ", mic " + micName);

    auto recorder = std::make_shared<RealtimeRecorder>(settings);
    testRecorder = recorder;
    recorder->onMessage = [settings, saved](const std::string& text,
                                            const std::optional<std::filesystem::path>& file) {
        saved.restore(*settings);
        SelfTestReport::result("SELFTEST-RT RESULT: ", text, file);
    };
    recorder->start();
    dispatch.postAfter(kStopAfter, [recorder] { recorder->stop(nullptr); });
}

}  // namespace

void runRealtimeSelfTest(const std::shared_ptr<Settings>& settings,
                         std::shared_ptr<Recorder>& testRecorder,
                         const std::vector<std::string>& arguments) {
    auto& dispatch = *platform::services().dispatch;
    const SavedSettings saved{settings->capturesSystemAudio(), settings->microphoneDeviceID(),
                              settings->resolutionScale()};
    const bool micOnly =
        std::find(arguments.begin(), arguments.end(), "--mic-only") != arguments.end();
    platform::services().audioDevices->whenListed([settings, &testRecorder, saved, micOnly] {
        record(settings, testRecorder, saved, micOnly);
    });
    dispatch.postAfter(kGiveUpAfter, [settings, saved, &dispatch] {
        saved.restore(*settings);
        dispatch.exitProcess(kNoResultStatus);
    });
}

}  // namespace vx

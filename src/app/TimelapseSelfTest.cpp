#include "app/TimelapseSelfTest.h"

#include "platform/Services.h"

#include "app/SelfTestReport.h"
#include "settings/Settings.h"
#include "timelapse/TimelapseRecorder.h"

namespace vx {

namespace {
constexpr double kOverrideInterval = 0.25;
constexpr double kStopAfter = 3.0;
constexpr double kGiveUpAfter = 12.0;
constexpr int kNoResultStatus = 2;
}  // namespace

void runTimelapseSelfTest(const std::shared_ptr<Settings>& settings,
                          std::shared_ptr<Recorder>& testRecorder) {
    auto& dispatch = *platform::services().dispatch;
    SelfTestReport::line("SELFTEST: starting capture");
    settings->captureIntervalOverride = kOverrideInterval;
    auto recorder = std::make_shared<TimelapseRecorder>(settings);
    testRecorder = recorder;
    recorder->onMessage = [](const std::string& text,
                             const std::optional<std::filesystem::path>& file) {
        SelfTestReport::result("SELFTEST RESULT: ", text, file);
    };
    recorder->start();
    dispatch.postAfter(kStopAfter, [recorder] { recorder->stop(nullptr); });
    dispatch.postAfter(kGiveUpAfter, [&dispatch] { dispatch.exitProcess(kNoResultStatus); });
}

}  // namespace vx

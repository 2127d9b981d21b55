#include "app/AppDelegate.h"

#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "platform/Services.h"
#include "system/LoginItem.h"

namespace vx {

AppDelegate::AppDelegate() : settings(std::make_shared<Settings>()) {}

void AppDelegate::applicationDidFinishLaunching() {
    switch (decideRun(platform::services().app->arguments())) {
        case RunKind::enableLogin:
            runLoginSwitch(true);
            return;
        case RunKind::disableLogin:
            runLoginSwitch(false);
            return;
        case RunKind::selfTest:
            runSelfTest();
            return;
        case RunKind::realtimeSelfTest:
            runRealtimeSelfTest();
            return;
        case RunKind::toggleRunning:
            sendToRunningCopy(platform::RemoteRequest::toggle);
            return;
        case RunKind::startRunning:
            sendToRunningCopy(platform::RemoteRequest::start);
            return;
        case RunKind::stopRunning:
            sendToRunningCopy(platform::RemoteRequest::stop);
            return;
        case RunKind::interactive:
            break;
    }
    // Only interactive copies are kept single: command-line runs and self-tests
    // must work while the user's copy sits in the tray.
    if (SingleInstance::anotherCopyIsRunning()) {
        platform::services().log->line(
            "Ventilux: another instance is already running; exiting this one.");
        platform::services().dispatch->exitProcess(0);
        return;
    }
    startInteractive();
}

void AppDelegate::runLoginSwitch(bool enable) {
    LoginItem::runSwitch(enable);
}

// Never a copy of its own: without a running copy there is nothing to control.
void AppDelegate::sendToRunningCopy(platform::RemoteRequest request) {
    platform::services().remoteControl->send(
        request, [](std::expected<void, platform::Error> taken) {
            if (!taken) {
                platform::services().stdErr->write(taken.error().description + "\n");
            }
            platform::services().dispatch->exitProcess(taken ? 0 : 1);
        });
}

void AppDelegate::startInteractive() {
    status = StatusController::create(settings, [this] { applicationShouldTerminate(); });
    platform::services().app->setQuitRequestHandler([this] { applicationShouldTerminate(); });
}

void AppDelegate::applicationShouldTerminate() {
    platform::Dispatch& dispatch = *platform::services().dispatch;
    // A second request while the movie is being saved changes nothing: the
    // first one already ends the process, in 20 seconds at the latest.
    if (quitting_) {
        return;
    }
    std::shared_ptr<Recorder> recorder = status ? status->activeRecorder() : nullptr;
    if (!recorder || !recorder->isRecording()) {
        dispatch.exitProcess(0);
        return;
    }
    quitting_ = true;
    recorder->stop([&dispatch] { dispatch.exitProcess(0); });
    dispatch.postAfter(kQuitFallbackSeconds, [&dispatch] { dispatch.exitProcess(0); });
}

}  // namespace vx

#include "app/AppDelegate.h"

#include "app/CommandLine.h"
#include "app/LoginItem.h"
#include "app/SingleInstance.h"
#include "platform/Services.h"

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

// The tray icon is not built yet: the copy runs without one until asked to quit.
void AppDelegate::startInteractive() {}

}  // namespace vx

#include "app/AppDelegate.h"
#include "app/RealtimeSelfTest.h"
#include "app/TimelapseSelfTest.h"
#include "platform/Services.h"

namespace vx {

void AppDelegate::runSelfTest() {
    runTimelapseSelfTest(settings, testRecorder);
}

void AppDelegate::runRealtimeSelfTest() {
    vx::runRealtimeSelfTest(settings, testRecorder, platform::services().app->arguments());
}

}  // namespace vx

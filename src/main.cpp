#include "app/AppDelegate.h"
#include "platform/Services.h"
#include "platform/linux/LinuxPlatform.h"

// Wiring only: the desktop's services, the one delegate, then the event loop,
// which ends the process itself.
int main(int argc, char** argv) {
    vx::platform::Services services = vx::platform::linux_::makeLinuxServices(argc, argv);
    vx::platform::ServicesInstallation installation(services);
    vx::AppDelegate delegate;
    services.app->run([&delegate] { delegate.applicationDidFinishLaunching(); });
    return 0;
}

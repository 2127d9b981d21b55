#include "app/Usage.h"

#include "platform/Services.h"

namespace vx::Usage {

namespace {

constexpr const char* kHelp =
    "Usage: ventilux [OPTION]\n"
    "A screen recorder in the desktop's tray. Without an option it puts its icon\n"
    "in the tray, whose menu starts and stops recordings and holds every setting.\n"
    "\n"
    "  --toggle         start or stop a recording in the running copy\n"
    "  --start          start a recording in the running copy\n"
    "  --stop           stop the running copy's recording\n"
    "  --selftest       record a 3-second time-lapse, report on standard error\n"
    "  --selftest-rt    record 6 seconds in real time with system sound and a\n"
    "                   microphone, report on standard error\n"
    "  --mic-only       with --selftest-rt: the microphone without system sound\n"
    "  --enable-login   start Ventilux at login\n"
    "  --disable-login  no longer start Ventilux at login\n"
    "  --help           show this help\n"
    "  --version        show the version\n"
    "\n"
    "Settings live in $XDG_CONFIG_HOME/ventilux/settings.ini. See ventilux(1).\n";

void answer(const std::string& text) {
    platform::Services& services = platform::services();
    services.stdOut->write(text);
    services.dispatch->exitProcess(0);
}

}  // namespace

void printHelp() {
    answer(kHelp);
}

void printVersion() {
    answer("Ventilux " + platform::services().app->version() + "\n");
}

}  // namespace vx::Usage

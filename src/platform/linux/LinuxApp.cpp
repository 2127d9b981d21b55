#include "platform/linux/LinuxApp.h"

#include <glib-unix.h>
#include <glib.h>

#include <csignal>

namespace vx::platform::linux_ {

LinuxApp::LinuxApp(int argc, char** argv, Dispatch& dispatch)
    : arguments_(argv, argv + argc), dispatch_(dispatch) {}

void LinuxApp::setQuitRequestHandler(std::function<void()> handler) {
    quitRequestHandler_ = std::move(handler);
}

void LinuxApp::run(std::function<void()> launched) {
    // Through the loop rather than in a signal handler, so that the answer
    // may post, wait for a recording to stop, and log like any other event.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        g_unix_signal_add(signal, &LinuxApp::onQuitSignal, this);
    }
    dispatch_.post(std::move(launched));
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    // Nothing quits the loop: the process ends through exitProcess. Should a
    // library quit it all the same, the process still ends rather than return.
    g_main_loop_unref(loop);
    dispatch_.exitProcess(0);
}

int LinuxApp::onQuitSignal(void* data) {
    auto& app = *static_cast<LinuxApp*>(data);
    if (app.quitRequestHandler_) {
        app.quitRequestHandler_();
    } else {
        app.dispatch_.exitProcess(0);
    }
    return G_SOURCE_CONTINUE;
}

std::string LinuxApp::version() const {
    return VENTILUX_VERSION;
}

}  // namespace vx::platform::linux_

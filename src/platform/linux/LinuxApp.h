#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/App.h"
#include "platform/Dispatch.h"

namespace vx::platform::linux_ {

// The process's GLib main loop. A termination signal (SIGTERM, SIGINT, SIGHUP)
// is a quit request, answered on the main thread like any other event.
class LinuxApp : public App {
  public:
    // `dispatch` is the main queue the loop serves; it must outlive the app.
    LinuxApp(int argc, char** argv, Dispatch& dispatch);

    std::vector<std::string> arguments() const override { return arguments_; }
    std::string version() const override;
    void setQuitRequestHandler(std::function<void()> handler) override;
    void run(std::function<void()> launched) override;  // never returns

  private:
    static int onQuitSignal(void* app);

    const std::vector<std::string> arguments_;
    Dispatch& dispatch_;
    std::function<void()> quitRequestHandler_;  // main thread only
};

}  // namespace vx::platform::linux_

#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vx::platform {

// The event loop of the process. Called on the main thread; apart from run(),
// which is the loop itself, no call waits for anything.
class App {
  public:
    virtual ~App() = default;
    virtual std::vector<std::string> arguments() const = 0;  // program path first
    // The application's version as the build names it, e.g. "0.1.0".
    virtual std::string version() const = 0;
    // A request to end the process from outside (SIGTERM, SIGINT, SIGHUP, logout),
    // delivered to `handler` on the main thread. Without a handler such a
    // request ends the process with status 0.
    virtual void setQuitRequestHandler(std::function<void()> handler) = 0;
    // Called once, by main(): its thread becomes the main thread. Runs
    // `launched` there once the loop is running, then runs the loop until the
    // process ends through Dispatch::exitProcess (the real loop never returns).
    virtual void run(std::function<void()> launched) = 0;
};

}  // namespace vx::platform

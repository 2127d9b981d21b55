#pragma once

#include "platform/App.h"

namespace vx::platform::sim {

// The event loop is the test itself: run() calls `launched` and returns, and
// the test drives SimDispatch from there.
class SimApp : public App {
  public:
    std::vector<std::string> arguments() const override { return args; }
    std::string version() const override { return appVersion; }
    void setQuitRequestHandler(std::function<void()> handler) override {
        quitRequestHandler = std::move(handler);
    }
    void run(std::function<void()> launched) override { launched(); }

    std::vector<std::string> args{"/usr/bin/ventilux"};
    std::string appVersion = "0.1.0";
    std::function<void()> quitRequestHandler;
};

}  // namespace vx::platform::sim

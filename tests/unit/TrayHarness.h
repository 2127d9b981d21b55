#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimPlatform.h"

#include "menubar/StatusController.h"
#include "settings/Settings.h"

namespace vx::testing {

// A simulated desktop with the tray's controller on it; movies go to a fresh
// folder that is removed afterwards.
class TrayHarness {
  public:
    explicit TrayHarness(const std::string& name)
        : folder(std::filesystem::temp_directory_path() /
                 ("ventilux-tray-" + std::to_string(::getpid()) + "-" + name)) {
        std::filesystem::remove_all(folder);
        settings->setOutputDirectory(folder);
        sim.screenCapture().content.displays = {{1, 64, 48}};
    }
    ~TrayHarness() { std::filesystem::remove_all(folder); }

    // Creates the controller with the settings as the test left them.
    StatusController& launch() {
        controller = StatusController::create(settings, [this] { ++quitRequests; });
        return *controller;
    }
    // A time-lapse or real-time recording started at once and running.
    void startRecording() {
        settings->setCountdownSeconds(0);
        controller->triggerRecording();
        sim.dispatch().runUntilIdle();
    }
    bool recording() const { return controller->activeRecorder()->isRecording(); }

    platform::Menu openMenu() { return sim.statusBar().openMenu(); }
    static std::vector<std::string> titles(const platform::Menu& menu) {
        std::vector<std::string> seen;
        for (const platform::MenuItem& item : menu) {
            seen.push_back(item.separator ? "---" : item.title);
        }
        return seen;
    }
    static const platform::MenuItem& find(const platform::Menu& menu, const std::string& title) {
        for (const platform::MenuItem& item : menu) {
            if (!item.separator && item.title == title) {
                return item;
            }
        }
        throw std::out_of_range("no menu item \"" + title + "\"");
    }

    platform::sim::SimPlatform sim;
    const std::filesystem::path folder;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    std::shared_ptr<StatusController> controller;
    int quitRequests = 0;
};

}  // namespace vx::testing

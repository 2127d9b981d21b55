#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "platform/sim/SimPlatform.h"

#include "capture/Recorder.h"
#include "integration/TemporaryFolder.h"
#include "menubar/StatusController.h"
#include "settings/Settings.h"

namespace vx::testing {

// A simulated desktop whose movies go to a folder not made yet, in a temporary
// folder removed afterwards.
struct SimDesktop {
    SimDesktop() { settings->setOutputDirectory(folder); }

    platform::sim::SimPlatform sim;
    fixtures::TemporaryFolder root;
    const std::filesystem::path folder = root.path() / "Movies";
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
};

// Everything a recorder tells its caller, in order, as short texts:
// "state true", "message <text> | <file or no-file>", "completion <name>".
// Each entry also checks that it arrived on the main queue.
class RecorderEvents {
  public:
    void attach(Recorder& recorder) {
        recorder.onStateChange = [this](bool recording) {
            add(std::string("state ") + (recording ? "true" : "false"));
        };
        recorder.onMessage = [this](const std::string& text,
                                    const std::optional<std::filesystem::path>& file) {
            add("message " + text + " | " + (file ? file->string() : "no-file"));
        };
    }
    std::function<void()> completion(const std::string& name) {
        return [this, name] { add("completion " + name); };
    }

    std::vector<std::string> seen;
    std::vector<std::string> offMainThread;

  private:
    void add(const std::string& event) {
        seen.push_back(event);
        if (platform::services().dispatch->currentQueueLabel() != "main") {
            offMainThread.push_back(event);
        }
    }
};

// One recorder of type `R` on the desktop, its calls to the caller recorded.
template <class R>
class RecorderHarness : public SimDesktop {
  public:
    RecorderHarness() { events.attach(*recorder); }

    // Starts and runs the start sequence to where the recorder waits on time.
    void startRecording() {
        recorder->start();
        sim.dispatch().runUntilIdle();
    }

    std::shared_ptr<R> recorder = std::make_shared<R>(settings);
    RecorderEvents events;
};

// The tray's controller on a desktop with one small display.
class TrayHarness : public SimDesktop {
  public:
    TrayHarness() { sim.screenCapture().content.displays = {{1, 64, 48}}; }

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

    std::shared_ptr<StatusController> controller;
    int quitRequests = 0;
};

// A test fixture holding `Harness`.
template <class Harness>
class HarnessTest : public ::testing::Test, public Harness {};

}  // namespace vx::testing

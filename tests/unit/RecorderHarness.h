#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "platform/sim/SimPlatform.h"

#include "capture/Recorder.h"
#include "integration/TemporaryFolder.h"
#include "settings/Settings.h"

namespace vx::testing {

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

// A simulated desktop with one recorder of type `R` on it, its calls to the
// caller recorded; movies go to a folder not made yet, in a temporary folder
// removed afterwards.
template <class R>
class RecorderHarness {
  public:
    RecorderHarness() {
        settings->setOutputDirectory(folder);
        events.attach(*recorder);
    }

    // Starts and runs the start sequence to where the recorder waits on time.
    void startRecording() {
        recorder->start();
        sim.dispatch().runUntilIdle();
    }

    platform::sim::SimPlatform sim;
    fixtures::TemporaryFolder root;
    const std::filesystem::path folder = root.path() / "Movies";
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    std::shared_ptr<R> recorder = std::make_shared<R>(settings);
    RecorderEvents events;
};

// A test fixture holding `Harness`.
template <class Harness>
class HarnessTest : public ::testing::Test, public Harness {};

}  // namespace vx::testing

#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/sim/SimPlatform.h"

#include "RecorderEvents.h"
#include "settings/Settings.h"

namespace vx::testing {

// A simulated desktop with one recorder of type `R` on it, its calls to the
// caller recorded; movies go to a fresh folder that is removed afterwards.
// `kind` and `name` keep the folders of tests and of their cases apart.
template <class R>
class RecorderHarness {
  public:
    RecorderHarness(const std::string& kind, const std::string& name)
        : folder(std::filesystem::temp_directory_path() /
                 ("ventilux-" + kind + "-" + std::to_string(::getpid()) + "-" + name)) {
        std::filesystem::remove_all(folder);
        settings->setOutputDirectory(folder);
        events.attach(*recorder);
    }
    ~RecorderHarness() { std::filesystem::remove_all(folder); }
    RecorderHarness(const RecorderHarness&) = delete;
    RecorderHarness& operator=(const RecorderHarness&) = delete;

    // Starts and runs the start sequence to where the recorder waits on time.
    void startRecording() {
        recorder->start();
        sim.dispatch().runUntilIdle();
    }

    platform::sim::SimPlatform sim;
    const std::filesystem::path folder;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    std::shared_ptr<R> recorder = std::make_shared<R>(settings);
    RecorderEvents events;
};

// A test fixture holding `Harness`, whose folder is named after the test.
template <class Harness>
class HarnessTest : public ::testing::Test, public Harness {
  protected:
    HarnessTest() : Harness(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}
};

}  // namespace vx::testing

#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/sim/SimPlatform.h"

#include "RecorderEvents.h"
#include "integration/TemporaryFolder.h"
#include "settings/Settings.h"

namespace vx::testing {

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

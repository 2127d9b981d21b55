#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Services.h"
#include "platform/linux/LinuxDispatch.h"

namespace vx::fixtures {

// What a hot-key service logs.
class Lines : public platform::Log {
  public:
    void line(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

// The hot key on a real hot-key service, with the real main queue to run its actions.
class HotkeyServiceFixture : public ::testing::Test {
  protected:
    // `makeService` builds the service with the fixture's log.
    explicit HotkeyServiceFixture(
        const std::function<std::unique_ptr<platform::HotkeyService>(platform::Log&)>&
            makeService) {
        auto log = std::make_unique<Lines>();
        logged = log.get();
        services.dispatch = std::make_unique<platform::linux_::LinuxDispatch>();
        services.hotkeys = makeService(*log);
        services.log = std::move(log);
        installation.emplace(services);
    }
    ~HotkeyServiceFixture() override { installation.reset(); }

    // An action that counts its runs and checks where it runs.
    std::function<void()> counting(int& runs) {
        return [this, &runs] {
            ++runs;
            EXPECT_EQ(std::this_thread::get_id(), testThread);
            EXPECT_EQ(services.dispatch->currentQueueLabel(), "main");
        };
    }

    platform::Services services;
    Lines* logged = nullptr;
    std::optional<platform::ServicesInstallation> installation;
    const std::thread::id testThread = std::this_thread::get_id();
};

}  // namespace vx::fixtures

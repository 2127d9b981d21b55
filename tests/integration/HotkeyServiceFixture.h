#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

#include "LogLines.h"
#include "platform/Services.h"
#include "platform/linux/LinuxDispatch.h"

namespace vx::fixtures {

// The hot key on a real `Service`, with the real main queue to run its actions.
template <class Service>
class HotkeyServiceFixture : public ::testing::Test {
  protected:
    HotkeyServiceFixture() {
        auto log = std::make_unique<Lines>();
        logged = log.get();
        services.dispatch = std::make_unique<platform::linux_::LinuxDispatch>();
        if constexpr (std::is_constructible_v<Service, platform::Log&>) {
            services.hotkeys = std::make_unique<Service>(*log);
        } else {
            services.hotkeys = std::make_unique<Service>();
        }
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

#pragma once

#include <glib.h>

#include <chrono>
#include <functional>

namespace vx::fixtures {

// Runs GLib's default main context, where the main queue and the bus deliver,
// until `done` holds or `seconds` have passed; returns whether it holds.
inline bool runUntil(const std::function<bool()>& done, double seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        if (!g_main_context_iteration(nullptr, FALSE)) {
            g_usleep(1000);
        }
    }
    return true;
}

}  // namespace vx::fixtures

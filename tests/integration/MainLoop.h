#pragma once

#include <glib.h>

#include <functional>

namespace vx::fixtures {

// Runs the main loop until `done` holds or `seconds` pass; whether it holds.
// What the code under test learns from its servers arrives as main-loop events.
inline bool runMainLoopUntil(const std::function<bool()>& done, double seconds = 10) {
    bool expired = false;
    const guint deadline = g_timeout_add(
        guint(seconds * 1000),
        [](gpointer flag) {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &expired);
    while (!done() && !expired) {
        g_main_context_iteration(nullptr, TRUE);
    }
    if (!expired) {
        g_source_remove(deadline);
    }
    return done();
}

}  // namespace vx::fixtures

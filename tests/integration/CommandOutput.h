#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace vx::fixtures {

// What a shell command writes to its standard output, once it has ended: how
// the tests and benchmarks read movies back with ffprobe and ffmpeg.
inline std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, got);
        }
        ::pclose(pipe);
    }
    return output;
}

// Checks `done` every `interval` until it holds or `patience` has run out; whether it
// holds. For what another process or thread does in its own time.
template <typename Condition>
bool within(std::chrono::duration<double> patience, Condition done,
            std::chrono::milliseconds interval = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace vx::fixtures

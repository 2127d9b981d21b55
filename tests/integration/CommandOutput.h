#pragma once

#include <cstdio>
#include <string>

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

}  // namespace vx::fixtures

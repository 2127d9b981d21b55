#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace vx {

RunKind decideRun(const std::vector<std::string>& arguments) {
    static constexpr std::array<std::pair<std::string_view, RunKind>, 7> kSwitches{{
        {"--enable-login", RunKind::enableLogin},
        {"--disable-login", RunKind::disableLogin},
        {"--selftest", RunKind::selfTest},
        {"--selftest-rt", RunKind::realtimeSelfTest},
        {"--toggle", RunKind::toggleRunning},
        {"--start", RunKind::startRunning},
        {"--stop", RunKind::stopRunning},
    }};
    for (const auto& [name, kind] : kSwitches) {
        if (std::ranges::find(arguments, name) != arguments.end()) {
            return kind;
        }
    }
    return RunKind::interactive;
}

}  // namespace vx

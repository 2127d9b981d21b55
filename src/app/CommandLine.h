#pragma once

#include <string>
#include <vector>

namespace vx {

// What kind of run this process is, decided once from its arguments.
enum class RunKind {
    enableLogin,       // "--enable-login"
    disableLogin,      // "--disable-login"
    selfTest,          // "--selftest"
    realtimeSelfTest,  // "--selftest-rt"
    toggleRunning,     // "--toggle": the running copy's trigger
    startRunning,      // "--start"
    stopRunning,       // "--stop"
    interactive,       // none of them
};

// The first switch of the list above that appears anywhere among `arguments`
// (program path included), compared whole and case-sensitively; the others are
// then ignored.
RunKind decideRun(const std::vector<std::string>& arguments);

}  // namespace vx

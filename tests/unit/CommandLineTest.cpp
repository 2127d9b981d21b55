#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace vx {
namespace {

TEST(CommandLine, TheFirstSwitchInPrecedenceDecidesWhereverItStands) {
    struct Case {
        std::vector<std::string> arguments;
        RunKind expected;
    };
    const std::vector<Case> cases{
        {{"/usr/bin/ventilux"}, RunKind::interactive},
        {{"/usr/bin/ventilux", "--enable-login"}, RunKind::enableLogin},
        {{"/usr/bin/ventilux", "--disable-login"}, RunKind::disableLogin},
        {{"/usr/bin/ventilux", "--selftest"}, RunKind::selfTest},
        {{"/usr/bin/ventilux", "--selftest-rt", "--mic-only"}, RunKind::realtimeSelfTest},
        {{"/usr/bin/ventilux", "--selftest", "--selftest-rt"}, RunKind::selfTest},
        {{"/usr/bin/ventilux", "--selftest-rt", "--selftest"}, RunKind::selfTest},
        {{"/usr/bin/ventilux", "--selftest", "--enable-login"}, RunKind::enableLogin},
        {{"/usr/bin/ventilux", "--disable-login", "--enable-login"}, RunKind::enableLogin},
        {{"/usr/bin/ventilux", "--selftest-rt", "--disable-login"}, RunKind::disableLogin},
        {{"/usr/bin/ventilux", "--toggle"}, RunKind::toggleRunning},
        {{"/usr/bin/ventilux", "--stop", "--start"}, RunKind::startRunning},
        {{"/usr/bin/ventilux", "--stop"}, RunKind::stopRunning},
        {{"/usr/bin/ventilux", "--start", "--selftest-rt"}, RunKind::realtimeSelfTest},
        // The program path is searched too.
        {{"--selftest"}, RunKind::selfTest},
    };
    for (const auto& [arguments, expected] : cases) {
        EXPECT_EQ(decideRun(arguments), expected) << testing::PrintToString(arguments);
    }
}

TEST(CommandLine, ANearMissMatchesNoSwitch) {
    for (const char* nearMiss :
         {"--SELFTEST", "--selftest=1", "--selftest ", " --selftest", "-selftest", "--selftest-RT",
          "--selftest-rt=1", "--enable-login=yes", "--Disable-login", "--mic-only", ""}) {
        EXPECT_EQ(decideRun({"/usr/bin/ventilux", nearMiss}), RunKind::interactive) << nearMiss;
    }
}

}  // namespace
}  // namespace vx

#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace vx {
namespace {

TEST(CommandLine, TheFirstSwitchInPrecedenceDecidesWhereverItStands) {
    const struct {
        std::vector<std::string> arguments;
        RunKind expected;
    } cases[] = {
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
        // A question about the program is answered instead of any run.
        {{"/usr/bin/ventilux", "--selftest", "--help"}, RunKind::help},
        {{"/usr/bin/ventilux", "--enable-login", "--version"}, RunKind::version},
        {{"/usr/bin/ventilux", "--version", "--help"}, RunKind::help},
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
          "--selftest-rt=1", "--enable-login=yes", "--Disable-login", "--mic-only", "-h", "--HELP",
          "--help=all", "-v", "-V", "--version=1", ""}) {
        EXPECT_EQ(decideRun({"/usr/bin/ventilux", nearMiss}), RunKind::interactive) << nearMiss;
    }
}

}  // namespace
}  // namespace vx

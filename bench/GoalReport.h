#pragma once

#include <cstdio>
#include <string>

namespace vx::bench {

// One line of the summary table scripts/bench.sh prints at the end of a run:
// which goal, the figure this run measured (with the peer's beside it where
// there is one), and whether the goal is met. Benchmarks print it on standard
// output as well as their own detail.
inline void reportGoal(const std::string& goal, const std::string& figure, bool met) {
    std::printf("GOAL\t%s\t%s\t%s\n", goal.c_str(), figure.c_str(), met ? "met" : "NOT met");
    std::fflush(stdout);
}

// A figure the table shows beside the goals without judging it.
inline void reportFigure(const std::string& what, const std::string& figure) {
    std::printf("REPORT\t%s\t%s\n", what.c_str(), figure.c_str());
    std::fflush(stdout);
}

}  // namespace vx::bench

#include <gtest/gtest.h>

#include "platform/sim/SimPlatform.h"

namespace vx {
namespace {

using platform::sim::SimPlatform;

TEST(SimDispatch, VirtualTimeFiresTimersAndDelayedPostsInTimeOrder) {
    SimPlatform sim;
    auto& dispatch = sim.dispatch();
    std::vector<std::string> seen;
    auto queue = dispatch.makeSerialQueue("lab.quimbry.ventilux.capture");
    dispatch.postAfter(1.5, [&] { seen.push_back("post 1.5 on " + dispatch.currentQueueLabel()); });
    dispatch.postAfter(0.5, [&] { seen.push_back("post 0.5"); });
    auto timer = dispatch.startTimer(queue, 0, 1.0, 0.05, [&] {
        seen.push_back("tick " + std::to_string(dispatch.elapsedSeconds()).substr(0, 3) + " on " +
                       dispatch.currentQueueLabel());
    });
    dispatch.advance(2.0);
    timer->cancel();
    dispatch.advance(5.0);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "tick 0.0 on lab.quimbry.ventilux.capture",
                        "post 0.5",
                        "tick 1.0 on lab.quimbry.ventilux.capture",
                        "post 1.5 on main",
                        "tick 2.0 on lab.quimbry.ventilux.capture",
                    }));
}

TEST(SimDispatch, CancelStopsATickAlreadyDeliveredButNotYetRun) {
    SimPlatform sim;
    auto& dispatch = sim.dispatch();
    auto queue = dispatch.makeSerialQueue("q");
    int ticks = 0;
    std::unique_ptr<platform::RepeatingTimer> timer;
    // The first task on the queue cancels the timer whose tick waits behind it.
    queue->post([&] { timer->cancel(); });
    timer = dispatch.startTimer(queue, 0, 1, 0, [&] { ++ticks; });
    dispatch.advance(3);
    EXPECT_EQ(ticks, 0);
}

TEST(SimDispatch, HeldBackgroundTasksRunOnlyWhenReleasedInTheChosenOrder) {
    SimPlatform sim;
    auto& dispatch = sim.dispatch();
    std::vector<int> order;
    dispatch.holdBackgroundTasks(true);
    for (int i = 0; i < 3; ++i) {
        dispatch.runInBackground([&, i] {
            EXPECT_EQ(dispatch.currentQueueLabel(), "background");
            order.push_back(i);
        });
    }
    dispatch.runUntilIdle();
    EXPECT_TRUE(order.empty());
    ASSERT_EQ(dispatch.heldBackgroundTaskCount(), 3u);
    dispatch.runHeldBackgroundTask(2);
    dispatch.runHeldBackgroundTask(0);
    dispatch.runHeldBackgroundTask(0);
    EXPECT_EQ(order, (std::vector<int>{2, 0, 1}));
}

TEST(SimDispatch, NothingRunsAfterTheProcessExits) {
    SimPlatform sim;
    auto& dispatch = sim.dispatch();
    bool ranLate = false;
    dispatch.postAfter(0.3, [&] { dispatch.exitProcess(0); });
    dispatch.postAfter(12, [&] {
        ranLate = true;
        dispatch.exitProcess(2);
    });
    dispatch.advance(20);
    EXPECT_EQ(dispatch.exitStatus(), 0);
    EXPECT_FALSE(ranLate);
}

}  // namespace
}  // namespace vx

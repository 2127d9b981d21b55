#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Dispatch.h"

namespace vx::platform::sim {

// Dispatch in virtual time on the test's own thread. Nothing runs until the
// test says so (runUntilIdle, advance), and then in a fixed order: main queue,
// serial queues in creation order, background tasks in posting order.
class SimDispatch : public Dispatch {
  public:
    SimDispatch();
    ~SimDispatch() override;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    std::shared_ptr<SerialQueue> makeSerialQueue(const std::string& label) override;
    void runInBackground(Task task) override;
    std::unique_ptr<RepeatingTimer> startTimer(std::shared_ptr<SerialQueue> queue,
                                               double firstDelay, double interval, double leeway,
                                               Task handler) override;
    std::unique_ptr<RepeatingTimer> startMainTimer(double interval, Task handler) override;
    std::chrono::system_clock::time_point now() const override;
    std::chrono::steady_clock::time_point steadyNow() const override;
    std::string currentQueueLabel() const override;
    void exitProcess(int status) override;

    // Runs every task that is ready now, including the ones they post and the
    // timers due by now.
    void runUntilIdle();
    // Moves virtual time forward, firing timers and delayed posts in time order.
    void advance(double seconds);
    double elapsedSeconds() const { return elapsed_; }
    void setWallClock(std::chrono::system_clock::time_point start) { wallStart_ = start; }

    // While held, background tasks wait until the test runs them one by one.
    void holdBackgroundTasks(bool hold) { holdBackground_ = hold; }
    size_t heldBackgroundTaskCount() const { return heldBackground_.size(); }
    void runHeldBackgroundTask(size_t index);

    std::optional<int> exitStatus() const { return exitStatus_; }

    class Queue;
    class Timer;

  private:
    struct TimedEvent {
        double deadline;
        Task action;
    };

    bool runOneReadyTask();
    bool fireOneDueEvent(double horizon);
    void runLabelled(const std::string& label, const Task& task);
    void schedule(double deadline, Task action);
    void scheduleRepeating(std::shared_ptr<bool> cancelled, double deadline, double interval,
                           std::function<void(Task)> deliver, Task handler);

    std::deque<Task> main_;
    std::vector<std::weak_ptr<Queue>> queues_;
    std::deque<Task> background_;
    std::vector<Task> heldBackground_;
    std::multimap<std::tuple<double, uint64_t>, Task> timed_;
    uint64_t nextSequence_ = 0;
    double elapsed_ = 0;
    std::chrono::system_clock::time_point wallStart_;
    std::chrono::steady_clock::time_point steadyStart_;
    std::string currentLabel_ = "main";
    bool holdBackground_ = false;
    std::optional<int> exitStatus_;
};

}  // namespace vx::platform::sim

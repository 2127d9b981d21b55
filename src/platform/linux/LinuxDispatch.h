#pragma once

#include <memory>
#include <string>

#include "platform/Dispatch.h"

namespace vx::platform::linux_ {

// Dispatch on the real desktop. The main queue, delayed posts and main timers
// are served by GLib's default main context; each serial queue, and each timer
// that fires on one, is a thread of its own; background tasks share a pool
// that grows while its threads are busy.
//
// Make it on the thread that will run the main loop: that thread is "main".
class LinuxDispatch : public Dispatch {
  public:
    LinuxDispatch();
    ~LinuxDispatch() override;
    LinuxDispatch(const LinuxDispatch&) = delete;
    LinuxDispatch& operator=(const LinuxDispatch&) = delete;

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
    // Empty on a thread that none of the queues owns (a library's own thread).
    std::string currentQueueLabel() const override;
    [[noreturn]] void exitProcess(int status) override;

  private:
    class MainTasks;
    class Queue;
    class QueueTimer;
    class MainTimer;
    class BackgroundPool;

    std::shared_ptr<BackgroundPool> background_;
};

}  // namespace vx::platform::linux_

#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace vx::platform {

using Task = std::function<void()>;

// A FIFO queue whose tasks never overlap each other. Any thread; never blocks.
class SerialQueue {
  public:
    virtual ~SerialQueue() = default;
    virtual void post(Task task) = 0;
    virtual const std::string& label() const = 0;
};

// A repeating timer. After cancel() returns no new handler run starts; a run
// already under way may finish. cancel() does not wait for that run, so a
// handler may cancel its own timer; any thread.
class RepeatingTimer {
  public:
    virtual ~RepeatingTimer() = default;
    virtual void cancel() = 0;
};

// Every asynchronous step of the core goes through here, so that the whole
// core can run in virtual time on the simulated platform. Every call may come
// from any thread and returns without waiting for the work it hands on;
// exitProcess does not return at all.
class Dispatch {
  public:
    virtual ~Dispatch() = default;

    // The main queue: the thread of the event loop and of everything the user sees.
    virtual void post(Task task) = 0;
    virtual void postAfter(double seconds, Task task) = 0;

    virtual std::shared_ptr<SerialQueue> makeSerialQueue(const std::string& label) = 0;

    // An independent task off the main thread; tasks may run side by side.
    virtual void runInBackground(Task task) = 0;

    // Fires on `queue` first after `firstDelay` seconds, then every `interval`
    // seconds, each within `leeway` seconds.
    virtual std::unique_ptr<RepeatingTimer> startTimer(std::shared_ptr<SerialQueue> queue,
                                                       double firstDelay, double interval,
                                                       double leeway, Task handler) = 0;

    // Fires on the main thread every `interval` seconds, also while a menu is open.
    virtual std::unique_ptr<RepeatingTimer> startMainTimer(double interval, Task handler) = 0;

    virtual std::chrono::system_clock::time_point now() const = 0;
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;

    // "main", a serial queue's label, or "background": for assertions and logs.
    virtual std::string currentQueueLabel() const = 0;

    // Ends the process with `status`; standard error is flushed first.
    virtual void exitProcess(int status) = 0;
};

}  // namespace vx::platform

#include "platform/linux/LinuxDispatch.h"

#include <glib.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace vx::platform::linux_ {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::steady_clock;

// Longer than any delay the program asks for, and still a whole number of
// milliseconds that GLib's timeouts can hold.
constexpr double kLongestDelaySeconds = 30.0 * 24 * 3600;
// A repeating timer faster than this would only keep a core busy.
constexpr nanoseconds kShortestInterval = milliseconds(1);
// Enough for every screenshot and start sequence in flight at once; more
// threads than this only means something is stuck.
constexpr size_t kMostBackgroundThreads = 64;
// An idle background thread waits this long for more work before it ends,
// so that a capture every few seconds reuses the same thread.
constexpr auto kBackgroundLinger = std::chrono::seconds(10);
// Linux keeps thread names to 15 characters.
constexpr size_t kLongestThreadName = 15;

// What currentQueueLabel() reports on this thread; set by the thread's owner.
thread_local const char* currentLabel = nullptr;

// Negative and NaN delays mean "now", absurd ones are capped.
nanoseconds toDuration(double seconds) {
    if (!(seconds > 0)) {
        return nanoseconds(0);
    }
    return std::chrono::duration_cast<nanoseconds>(
        std::chrono::duration<double>(std::min(seconds, kLongestDelaySeconds)));
}

nanoseconds toInterval(double seconds) {
    return std::max(toDuration(seconds), kShortestInterval);
}

// Rounded up, so that nothing runs before the time it was asked for.
guint toMilliseconds(nanoseconds delay) {
    return static_cast<guint>(std::chrono::ceil<milliseconds>(delay).count());
}

void nameThisThread(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, kLongestThreadName).c_str());
}

}  // namespace

// Everything bound for the main thread waits here under our own lock, and only
// a number travels through GLib to the callback that runs it. GLib's own locks
// are invisible to ThreadSanitizer; ours keep every hand-over visible to it.
// One set per process, like GLib's default main context it feeds.
class LinuxDispatch::MainTasks {
  public:
    struct Repeating {
        uintptr_t id;
        GSource* source;  // one reference, the caller's
    };

    static MainTasks& instance() {
        // Never destroyed: a thread may still post while the process exits.
        static MainTasks* const tasks = new MainTasks;
        return *tasks;
    }

    void post(Task task) {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(std::move(task));
            wake = !drainScheduled_;
            drainScheduled_ = true;
        }
        if (wake) {
            g_source_unref(attach(g_idle_source_new(), &MainTasks::runPosted, 0));
        }
    }

    void postAfter(nanoseconds delay, Task task) {
        uintptr_t id = 0;
        {
            std::lock_guard lock(mutex_);
            id = nextId_++;
            delayed_.emplace(id, std::move(task));
        }
        g_source_unref(
            attach(g_timeout_source_new(toMilliseconds(delay)), &MainTasks::runDelayed, id));
    }

    Repeating startRepeating(nanoseconds interval, Task handler) {
        uintptr_t id = 0;
        {
            std::lock_guard lock(mutex_);
            id = nextId_++;
            repeating_.emplace(id, std::make_shared<Task>(std::move(handler)));
        }
        return {id, attach(g_timeout_source_new(toMilliseconds(interval)), &MainTasks::runRepeating,
                           id)};
    }

    void stopRepeating(const Repeating& repeating) {
        decltype(repeating_)::node_type stopped;  // its handler goes after the lock
        {
            std::lock_guard lock(mutex_);
            stopped = repeating_.extract(repeating.id);
        }
        g_source_destroy(repeating.source);
    }

  private:
    // Default priority, like the bus and the menus: posted work is never
    // starved by a busy loop, nor does it starve anything.
    static GSource* attach(GSource* source, GSourceFunc run, uintptr_t id) {
        g_source_set_priority(source, G_PRIORITY_DEFAULT);
        g_source_set_callback(source, run, reinterpret_cast<gpointer>(id), nullptr);
        g_source_attach(source, g_main_context_default());
        return source;
    }

    static uintptr_t idOf(gpointer data) { return reinterpret_cast<uintptr_t>(data); }

    // Runs what was posted before this turn of the loop; what those tasks post
    // waits for the next turn, so that other sources get their say in between.
    static gboolean runPosted(gpointer) {
        MainTasks& self = instance();
        std::deque<Task> batch;
        {
            std::lock_guard lock(self.mutex_);
            batch.swap(self.posted_);
        }
        for (Task& task : batch) {
            task();
            task = nullptr;
        }
        std::lock_guard lock(self.mutex_);
        if (self.posted_.empty()) {
            self.drainScheduled_ = false;
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }

    static gboolean runDelayed(gpointer data) {
        MainTasks& self = instance();
        decltype(delayed_)::node_type due;
        {
            std::lock_guard lock(self.mutex_);
            due = self.delayed_.extract(idOf(data));
        }
        if (due) {
            due.mapped()();
        }
        return G_SOURCE_REMOVE;
    }

    static gboolean runRepeating(gpointer data) {
        MainTasks& self = instance();
        std::shared_ptr<Task> handler;
        {
            std::lock_guard lock(self.mutex_);
            auto found = self.repeating_.find(idOf(data));
            if (found == self.repeating_.end()) {
                return G_SOURCE_REMOVE;
            }
            handler = found->second;
        }
        (*handler)();
        return G_SOURCE_CONTINUE;
    }

    std::mutex mutex_;
    std::deque<Task> posted_;
    bool drainScheduled_ = false;  // an idle source will run posted_
    uintptr_t nextId_ = 1;
    std::unordered_map<uintptr_t, Task> delayed_;
    // Shared with a run under way, which may outlive its timer's cancel().
    std::unordered_map<uintptr_t, std::shared_ptr<Task>> repeating_;
};

class LinuxDispatch::MainTimer : public RepeatingTimer {
  public:
    MainTimer(nanoseconds interval, Task handler)
        : repeating_(MainTasks::instance().startRepeating(interval, std::move(handler))) {}
    ~MainTimer() override {
        cancel();
        g_source_unref(repeating_.source);
    }
    void cancel() override { MainTasks::instance().stopRepeating(repeating_); }

  private:
    const MainTasks::Repeating repeating_;
};

class LinuxDispatch::Queue : public SerialQueue {
  public:
    explicit Queue(const std::string& label)
        : shared_(std::make_shared<Shared>(label)), thread_(&Queue::work, shared_) {}

    // Runs what is still queued before the thread ends, so that no posted work
    // is lost.
    ~Queue() override {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->closing = true;
        }
        shared_->wake.notify_one();
        // The last owner may be one of the queue's own tasks: a thread cannot
        // join itself, so it finishes the queued work on its own.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }

    void post(Task task) override {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->tasks.push_back(std::move(task));
        }
        shared_->wake.notify_one();
    }

    const std::string& label() const override { return shared_->label; }

  private:
    // What the thread needs; it outlives this object when the thread is detached.
    struct Shared {
        explicit Shared(const std::string& label) : label(label) {}
        const std::string label;
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Task> tasks;
        bool closing = false;
    };

    static void work(std::shared_ptr<Shared> shared) {
        nameThisThread(shared->label);
        currentLabel = shared->label.c_str();
        for (;;) {
            Task task;
            {
                std::unique_lock lock(shared->mutex);
                shared->wake.wait(lock, [&] { return shared->closing || !shared->tasks.empty(); });
                if (shared->tasks.empty()) {
                    return;
                }
                task = std::move(shared->tasks.front());
                shared->tasks.pop_front();
            }
            task();
            // Leaving the scope drops the task's captures outside the lock; the
            // queue's last owner may be among them.
        }
    }

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

// Keeps time on a thread of its own and posts each run to the serial queue.
// Deadlines stay on the grid of the first one, so the timer does not drift;
// while a run is posted or under way, the deadlines that pass are skipped
// rather than owed, so a slow handler never builds up a backlog.
class LinuxDispatch::QueueTimer : public RepeatingTimer {
  public:
    QueueTimer(std::shared_ptr<SerialQueue> queue, steady_clock::time_point firstDeadline,
               nanoseconds interval, Task handler)
        : queue_(std::move(queue)), state_(std::make_shared<State>(std::move(handler))) {
        if (queue_) {
            thread_ = std::thread(&QueueTimer::keepTime, state_, std::ref(*queue_), firstDeadline,
                                  interval);
        }
    }

    ~QueueTimer() override {
        cancel();
        // The time-keeping thread never runs the handler, so this join cannot
        // wait on the thread that destroys the timer, not even from a handler.
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Does not wait for a run under way: a handler may cancel its own timer.
    void cancel() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->cancelled = true;
        }
        state_->wake.notify_all();
    }

  private:
    struct State {
        explicit State(Task handler) : handler(std::move(handler)) {}
        std::mutex mutex;
        std::condition_variable wake;
        bool cancelled = false;
        bool runPending = false;  // a run is posted to the queue or under way
        const Task handler;       // runs on the serial queue only
    };

    static void keepTime(std::shared_ptr<State> state, SerialQueue& queue,
                         steady_clock::time_point firstDeadline, nanoseconds interval) {
        nameThisThread("vx timer");
        int64_t tick = 0;
        steady_clock::time_point deadline = firstDeadline;
        std::unique_lock lock(state->mutex);
        while (!state->wake.wait_until(lock, deadline, [&] { return state->cancelled; })) {
            if (!state->runPending) {
                state->runPending = true;
                lock.unlock();
                queue.post([state] { run(*state); });
                lock.lock();
            }
            const int64_t passed = (steady_clock::now() - firstDeadline) / interval;
            tick = std::max(tick + 1, passed + 1);
            deadline = firstDeadline + tick * interval;
        }
    }

    // A run that finds the timer cancelled does not start: that check under
    // the lock is what makes "no new run after cancel() returns" hold.
    static void run(State& state) {
        {
            std::lock_guard lock(state.mutex);
            if (state.cancelled) {
                state.runPending = false;
                return;
            }
        }
        state.handler();
        std::lock_guard lock(state.mutex);
        state.runPending = false;
    }

    // Kept for as long as the time-keeping thread posts to it.
    const std::shared_ptr<SerialQueue> queue_;
    const std::shared_ptr<State> state_;
    std::thread thread_;
};

// Independent tasks on threads that are started while every existing one is
// busy (up to a cap), so that a task blocked for a while never holds up the
// next one, and that end after a while without work.
class LinuxDispatch::BackgroundPool : public std::enable_shared_from_this<BackgroundPool> {
  public:
    void run(Task task) {
        bool startThread = false;
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
            if (idle_ < tasks_.size() && threads_ < kMostBackgroundThreads) {
                ++threads_;
                startThread = true;
            }
        }
        if (startThread) {
            std::thread(&BackgroundPool::work, shared_from_this()).detach();
        }
        wake_.notify_one();
    }

  private:
    void work() {
        nameThisThread("vx background");
        currentLabel = "background";
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            const bool hasTask =
                wake_.wait_for(lock, kBackgroundLinger, [this] { return !tasks_.empty(); });
            --idle_;
            if (!hasTask) {
                --threads_;
                return;
            }
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            task = nullptr;  // its captures go before the lock is taken again
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    size_t idle_ = 0;     // threads waiting for a task
    size_t threads_ = 0;  // threads started and not yet ended
};

LinuxDispatch::LinuxDispatch() : background_(std::make_shared<BackgroundPool>()) {
    currentLabel = "main";
}

LinuxDispatch::~LinuxDispatch() = default;

void LinuxDispatch::post(Task task) {
    MainTasks::instance().post(std::move(task));
}

void LinuxDispatch::postAfter(double seconds, Task task) {
    MainTasks::instance().postAfter(toDuration(seconds), std::move(task));
}

std::shared_ptr<SerialQueue> LinuxDispatch::makeSerialQueue(const std::string& label) {
    return std::make_shared<Queue>(label);
}

void LinuxDispatch::runInBackground(Task task) {
    background_->run(std::move(task));
}

std::unique_ptr<RepeatingTimer> LinuxDispatch::startTimer(std::shared_ptr<SerialQueue> queue,
                                                          double firstDelay, double interval,
                                                          double /*leeway*/, Task handler) {
    // Every run aims at its deadline itself, which keeps it within any leeway
    // the scheduler allows; there is nothing to gain from aiming later.
    return std::make_unique<QueueTimer>(std::move(queue),
                                        steady_clock::now() + toDuration(firstDelay),
                                        toInterval(interval), std::move(handler));
}

std::unique_ptr<RepeatingTimer> LinuxDispatch::startMainTimer(double interval, Task handler) {
    return std::make_unique<MainTimer>(toInterval(interval), std::move(handler));
}

std::chrono::system_clock::time_point LinuxDispatch::now() const {
    return std::chrono::system_clock::now();
}

std::chrono::steady_clock::time_point LinuxDispatch::steadyNow() const {
    return steady_clock::now();
}

std::string LinuxDispatch::currentQueueLabel() const {
    return currentLabel != nullptr ? currentLabel : "";
}

void LinuxDispatch::exitProcess(int status) {
    std::fflush(nullptr);
    // Worker threads may be blocked in a screenshot or a write; static
    // destructors would wait on them or pull state from under them.
    _exit(status);
}

}  // namespace vx::platform::linux_

#include <glib.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/LinuxApp.h"
#include "platform/linux/LinuxDispatch.h"

namespace vx {
namespace {

using platform::RepeatingTimer;
using platform::SerialQueue;
using platform::Task;
using platform::linux_::LinuxApp;
using platform::linux_::LinuxDispatch;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// How long a test waits for what should take a small fraction of it: only a
// lost task or a deadlock comes anywhere near.
constexpr auto kPatience = std::chrono::seconds(10);
constexpr double kInterval = 0.02;
constexpr double kLeeway = 0.005;
const std::string kCaptureLabel = "lab.quimbry.ventilux.capture";

// "It happened", from one thread to another; shared, so that a late setter
// never outlives it.
class Event {
  public:
    // Notifies under the lock: once a waiter sees the event it may destroy
    // it, and the setter must be done with it by then.
    void set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [this] { return set_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

std::shared_ptr<Event> makeEvent() {
    return std::make_shared<Event>();
}

// Counts the runs of a reference timer, the clock the timer tests read:
// "five more of its runs" means "five more intervals", whatever the load.
class RunCounter {
  public:
    void count() {
        std::lock_guard lock(mutex_);
        ++runs_;
        changed_.notify_all();
    }
    int runs() {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    bool waitFor(int atLeast) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return runs_ >= atLeast; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int runs_ = 0;
};

// Returns once everything posted to `queue` before it has run.
bool drain(SerialQueue& queue) {
    auto drained = makeEvent();
    queue.post([drained] { drained->set(); });
    return drained->wait();
}

// GLib's default main context run on the test's thread, as the app runs it.
// Quit it from a main-queue task; a watchdog turns a hang into a failure.
class MainLoop {
  public:
    MainLoop() : loop_(g_main_loop_new(nullptr, FALSE)) {}
    ~MainLoop() { g_main_loop_unref(loop_); }
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // False when the watchdog had to end it.
    bool run() {
        timedOut_ = false;
        const guint watchdog = g_timeout_add(3 * 1000 * kPatience.count(), &MainLoop::giveUp, this);
        g_main_loop_run(loop_);
        if (!timedOut_) {
            g_source_remove(watchdog);
        }
        return !timedOut_;
    }
    void quit() { g_main_loop_quit(loop_); }

  private:
    static gboolean giveUp(gpointer data) {
        auto* self = static_cast<MainLoop*>(data);
        self->timedOut_ = true;
        self->quit();
        return G_SOURCE_REMOVE;
    }

    GMainLoop* loop_;
    bool timedOut_ = false;
};

std::string threadName() {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

TEST(LinuxDispatch, SerialQueueRunsEachPostersTasksInOrderAndOneAtATime) {
    constexpr int kPosters = 4;
    constexpr int kPostsEach = 2000;
    LinuxDispatch dispatch;
    // On the queue's thread only, like any queue-confined field.
    std::vector<std::vector<int>> received(kPosters);
    std::set<std::string> threadNames;
    int running = 0;
    int overlaps = 0;
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);

    std::vector<std::thread> posters;
    for (int poster = 0; poster < kPosters; ++poster) {
        posters.emplace_back([&, poster] {
            for (int i = 0; i < kPostsEach; ++i) {
                queue->post([&, poster, i] {
                    overlaps += running++ > 0 ? 1 : 0;
                    received[poster].push_back(i);
                    threadNames.insert(threadName());
                    --running;
                });
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(drain(*queue));

    std::vector<int> inOrder(kPostsEach);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    for (int poster = 0; poster < kPosters; ++poster) {
        EXPECT_EQ(received[poster], inOrder) << "poster " << poster;
    }
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(threadNames, std::set<std::string>{kCaptureLabel.substr(0, 15)});
}

TEST(LinuxDispatch, MainQueueGetsEveryPostFromEveryThreadInPostingOrder) {
    constexpr int kPosters = 4;
    constexpr int kPostsEach = 1000;
    LinuxDispatch dispatch;
    MainLoop loop;
    std::vector<std::vector<int>> received(kPosters);  // main thread only
    int total = 0;
    int offMainThread = 0;

    std::vector<std::thread> posters;
    for (int poster = 0; poster < kPosters; ++poster) {
        posters.emplace_back([&, poster] {
            for (int i = 0; i < kPostsEach; ++i) {
                dispatch.post([&, poster, i] {
                    received[poster].push_back(i);
                    offMainThread += dispatch.currentQueueLabel() == "main" ? 0 : 1;
                    if (++total == kPosters * kPostsEach) {
                        loop.quit();
                    }
                });
            }
        });
    }
    ASSERT_TRUE(loop.run());
    for (auto& poster : posters) {
        poster.join();
    }

    std::vector<int> inOrder(kPostsEach);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    for (int poster = 0; poster < kPosters; ++poster) {
        EXPECT_EQ(received[poster], inOrder) << "poster " << poster;
    }
    EXPECT_EQ(offMainThread, 0);
}

TEST(LinuxDispatch, MainQueueRunsPostsAfterTheCurrentTaskAndDelayedOnesByDeadline) {
    LinuxDispatch dispatch;
    MainLoop loop;
    std::vector<std::string> ran;
    std::vector<double> ranAt;
    const auto origin = Clock::now();
    auto record = [&](const std::string& what) {
        ran.push_back(what);
        ranAt.push_back(Seconds(Clock::now() - origin).count());
    };

    dispatch.postAfter(0.3, [&] {
        record("after 0.3 s");
        loop.quit();
    });
    dispatch.postAfter(0.1, [&] { record("after 0.1 s"); });
    dispatch.post([&] {
        dispatch.post([&] { record("posted by a main-queue task"); });
        record("at once");
    });
    ASSERT_TRUE(loop.run());

    EXPECT_EQ(ran, (std::vector<std::string>{"at once", "posted by a main-queue task",
                                             "after 0.1 s", "after 0.3 s"}));
    ASSERT_EQ(ranAt.size(), 4u);
    EXPECT_GE(ranAt[2], 0.1);
    EXPECT_GE(ranAt[3], 0.3);
}

// Whatever runs the probe reports the label of the thread it runs on.
struct Probe {
    LinuxDispatch& dispatch;
    std::shared_ptr<SerialQueue> queue;
    Task report;
};

TEST(LinuxDispatch, EveryKindOfThreadReportsItsQueueLabel) {
    const struct {
        const char* where;
        std::string expected;
        std::function<std::unique_ptr<RepeatingTimer>(Probe&)> arrange;
    } cases[] = {
        {"the main thread", "main",
         [](Probe& p) {
             p.report();
             return nullptr;
         }},
        {"a main-queue task", "main",
         [](Probe& p) {
             p.dispatch.post(p.report);
             return nullptr;
         }},
        {"a delayed main-queue task", "main",
         [](Probe& p) {
             p.dispatch.postAfter(0.01, p.report);
             return nullptr;
         }},
        {"a main timer", "main",
         [](Probe& p) { return p.dispatch.startMainTimer(kInterval, p.report); }},
        {"a serial queue task", kCaptureLabel,
         [](Probe& p) {
             p.queue->post(p.report);
             return nullptr;
         }},
        {"a timer on a serial queue", kCaptureLabel,
         [](Probe& p) { return p.dispatch.startTimer(p.queue, 0, kInterval, kLeeway, p.report); }},
        {"a background task", "background",
         [](Probe& p) {
             p.dispatch.runInBackground(p.report);
             return nullptr;
         }},
        {"a thread that is none of these", "",
         [](Probe& p) {
             std::thread(p.report).join();
             return nullptr;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        LinuxDispatch dispatch;
        MainLoop loop;
        std::string seen = "(nothing)";
        // Shared: the thread that reports may still be returning from the
        // report while the next case begins.
        auto reported = std::make_shared<std::atomic<bool>>(false);
        Probe probe{dispatch, dispatch.makeSerialQueue(kCaptureLabel), [&, reported] {
                        if (!reported->exchange(true)) {
                            dispatch.post([&seen, &loop, label = dispatch.currentQueueLabel()] {
                                seen = label;
                                loop.quit();
                            });
                        }
                    }};
        auto timer = c.arrange(probe);
        ASSERT_TRUE(loop.run());
        EXPECT_EQ(seen, c.expected);
    }
}

TEST(LinuxDispatch, QueueTimerKeepsToItsDeadlinesEvenWithABusyHandler) {
    constexpr double kFirstDelay = 0.2;
    constexpr double kGrid = 0.05;
    constexpr double kGridLeeway = 0.01;
    constexpr size_t kRuns = 40;
    struct Run {
        Clock::time_point start;
        Clock::time_point end;
    };
    LinuxDispatch dispatch;
    std::vector<Run> runs;  // on the queue until `done`
    auto done = makeEvent();
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    const auto origin = Clock::now();
    auto timer = dispatch.startTimer(queue, kFirstDelay, kGrid, kGridLeeway, [&] {
        if (runs.size() == kRuns) {
            return;
        }
        const auto start = Clock::now();
        // Busy for half of each interval, like a frame append.
        std::this_thread::sleep_for(Seconds(kGrid / 2));
        runs.push_back({start, Clock::now()});
        if (runs.size() == kRuns) {
            done->set();
        }
    });
    ASSERT_TRUE(done->wait());
    timer.reset();

    // A run may come late, or skip deadlines on a busy machine, but never
    // before its own deadline.
    std::vector<double> lateness;
    for (size_t k = 0; k < kRuns; ++k) {
        const double at = Seconds(runs[k].start - origin).count() - kFirstDelay;
        EXPECT_GE(at, double(k) * kGrid) << "run " << k << " came early";
        lateness.push_back(std::fmod(std::max(at, 0.0), kGrid));
    }
    // A timer that counted its interval from the end of a run would never
    // start the next one sooner than a whole interval after that end; on the
    // grid, the next run comes at the next deadline, half an interval later.
    size_t soonAfterTheLastRun = 0;
    for (size_t k = 1; k < kRuns; ++k) {
        soonAfterTheLastRun += runs[k].start - runs[k - 1].end < Seconds(kGrid) ? 1 : 0;
    }
    EXPECT_GE(soonAfterTheLastRun, kRuns / 4);

    std::sort(lateness.begin(), lateness.end());
    const auto withinLeeway = std::count_if(lateness.begin(), lateness.end(),
                                            [&](double late) { return late <= kGridLeeway; });
    std::printf(
        "[ measured ] %zd of %zu runs within the leeway, %zu less than an interval after the "
        "last one ended; lateness median %.2f ms, worst %.2f ms; mean spacing %.2f ms on a %.0f "
        "ms grid\n",
        withinLeeway, kRuns, soonAfterTheLastRun, lateness[kRuns / 2] * 1e3, lateness.back() * 1e3,
        Seconds(runs.back().start - runs.front().start).count() / (kRuns - 1) * 1e3, kGrid * 1e3);
}

TEST(LinuxDispatch, ASlowRunSkipsTheTicksItMissedInsteadOfQueueingThem) {
    LinuxDispatch dispatch;
    std::vector<std::string> events;  // on the queue
    int runs = 0;                     // on the queue
    RunCounter reference;
    auto thirdRun = makeEvent();
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    auto referenceQueue = dispatch.makeSerialQueue("reference");
    auto referenceTimer =
        dispatch.startTimer(referenceQueue, 0, kInterval, kLeeway, [&] { reference.count(); });
    auto timer = dispatch.startTimer(queue, 0, kInterval, kLeeway, [&] {
        events.push_back("run " + std::to_string(++runs));
        if (runs == 1) {
            // Outlast several deadlines, then leave a marker behind this run:
            // a backlog of missed runs would already sit in front of it.
            reference.waitFor(reference.runs() + 5);
            queue->post([&] { events.push_back("marker"); });
        }
        if (runs == 3) {
            thirdRun->set();
        }
    });
    ASSERT_TRUE(thirdRun->wait());
    timer.reset();
    ASSERT_TRUE(drain(*queue));

    events.resize(4);
    EXPECT_EQ(events, (std::vector<std::string>{"run 1", "marker", "run 2", "run 3"}));
}

TEST(LinuxDispatch, ARunWaitingBehindOtherWorkDoesNotStartAfterCancel) {
    LinuxDispatch dispatch;
    int runs = 0;  // on the queue
    std::unique_ptr<RepeatingTimer> timer;
    RunCounter reference;
    auto armed = makeEvent();
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    auto referenceQueue = dispatch.makeSerialQueue("reference");
    auto referenceTimer =
        dispatch.startTimer(referenceQueue, 0, kInterval, kLeeway, [&] { reference.count(); });
    // Holds the queue while the timer's first deadlines pass, so that a run
    // is posted behind it, then cancels the timer before that run can start.
    queue->post([&] {
        armed->wait();
        reference.waitFor(reference.runs() + 3);
        timer->cancel();
    });
    timer = dispatch.startTimer(queue, 0, kInterval, kLeeway, [&] { ++runs; });
    armed->set();
    ASSERT_TRUE(drain(*queue));
    EXPECT_EQ(runs, 0);
}

enum class TimerKind { OnQueue, OnMainThread };
enum class Stop { Cancel, Destroy };

TEST(LinuxDispatch, NoRunStartsOnceATimerIsStopped) {
    const struct {
        const char* name;
        TimerKind kind;
        Stop how;
        bool byItsOwnHandler;
    } cases[] = {
        {"queue timer cancelled by its handler", TimerKind::OnQueue, Stop::Cancel, true},
        {"queue timer destroyed by its handler", TimerKind::OnQueue, Stop::Destroy, true},
        {"queue timer cancelled by the main thread during a run", TimerKind::OnQueue, Stop::Cancel,
         false},
        {"queue timer destroyed by the main thread during a run", TimerKind::OnQueue, Stop::Destroy,
         false},
        {"main timer cancelled by its handler", TimerKind::OnMainThread, Stop::Cancel, true},
        {"main timer destroyed by its handler", TimerKind::OnMainThread, Stop::Destroy, true},
        {"main timer cancelled by a background task during a run", TimerKind::OnMainThread,
         Stop::Cancel, false},
        {"main timer destroyed by a background task during a run", TimerKind::OnMainThread,
         Stop::Destroy, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinuxDispatch dispatch;
        MainLoop loop;
        int runs = 0;  // on the timer's thread
        std::unique_ptr<RepeatingTimer> timer;
        RunCounter reference;
        auto armed = makeEvent();
        auto stopped = makeEvent();
        auto queue = dispatch.makeSerialQueue(kCaptureLabel);
        auto referenceQueue = dispatch.makeSerialQueue("reference");

        Task stop = [&] {
            if (c.how == Stop::Cancel) {
                timer->cancel();
            } else {
                timer.reset();
            }
            stopped->set();
        };
        Task handler = [&] {
            if (++runs != 2) {
                return;
            }
            armed->wait();
            if (c.byItsOwnHandler) {
                stop();
                return;
            }
            // Stopped elsewhere while this run is under way: the main thread
            // stops a queue's timer, as a recording's stop does; a background
            // task stops a main timer, whose thread this run holds.
            if (c.kind == TimerKind::OnQueue) {
                dispatch.post(stop);
            } else {
                dispatch.runInBackground(stop);
            }
            EXPECT_TRUE(stopped->wait());
        };
        timer = c.kind == TimerKind::OnQueue
                    ? dispatch.startTimer(queue, 0, kInterval, kLeeway, handler)
                    : dispatch.startMainTimer(kInterval, handler);
        armed->set();
        auto referenceTimer =
            dispatch.startTimer(referenceQueue, 0, kInterval, kLeeway, [&] { reference.count(); });
        // Once stopped: five more intervals by the reference timer, then
        // whatever the queue still holds, then the end of the loop.
        dispatch.runInBackground([&] {
            stopped->wait();
            reference.waitFor(reference.runs() + 5);
            drain(*queue);
            dispatch.post([&] { loop.quit(); });
        });
        ASSERT_TRUE(loop.run());
        EXPECT_EQ(runs, 2);
    }
}

TEST(LinuxDispatch, DroppingAQueueFirstRunsWhatIsStillQueued) {
    LinuxDispatch dispatch;
    int ran = 0;  // on the queue until it is gone
    auto gate = makeEvent();
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    queue->post([gate] { gate->wait(); });
    for (int i = 0; i < 100; ++i) {
        queue->post([&ran] { ++ran; });
    }
    gate->set();
    queue.reset();
    EXPECT_EQ(ran, 100);
}

TEST(LinuxDispatch, TheLastOwnerOfAQueueMayBeOneOfItsOwnTasks) {
    // Each arranges for the queue's last owner to go on the queue's own
    // thread, after `released`, once the queue has had `more` posted.
    using Arrange = std::function<void(LinuxDispatch&, std::shared_ptr<SerialQueue>,
                                       std::shared_ptr<Event> released, Task more)>;
    const struct {
        const char* owner;
        Arrange arrange;
    } cases[] = {
        {"a task holding it",
         [](LinuxDispatch&, std::shared_ptr<SerialQueue> queue, std::shared_ptr<Event> released,
            Task more) {
             SerialQueue& target = *queue;
             target.post([queue = std::move(queue), released, more] {
                 released->wait();
                 more();
             });
         }},
        {"a timer that its own handler destroys",
         [](LinuxDispatch& dispatch, std::shared_ptr<SerialQueue> queue,
            std::shared_ptr<Event> released, Task more) {
             // The handler holds the timer's holder, and ends the timer.
             auto timer = std::make_shared<std::unique_ptr<RepeatingTimer>>();
             auto armed = makeEvent();
             *timer = dispatch.startTimer(std::move(queue), 0, kInterval, kLeeway,
                                          [timer, armed, released, more] {
                                              armed->wait();
                                              released->wait();
                                              more();
                                              timer->reset();
                                          });
             armed->set();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.owner);
        LinuxDispatch dispatch;
        auto labels = std::make_shared<std::vector<std::string>>();  // on the queue
        auto finished = makeEvent();
        auto released = makeEvent();
        auto queue = dispatch.makeSerialQueue(kCaptureLabel);
        SerialQueue* target = queue.get();
        c.arrange(dispatch, std::move(queue), released, [&dispatch, target, labels, finished] {
            for (int i = 0; i < 10; ++i) {
                target->post(
                    [&dispatch, labels] { labels->push_back(dispatch.currentQueueLabel()); });
            }
            target->post([finished] { finished->set(); });
        });
        released->set();
        ASSERT_TRUE(finished->wait());
        EXPECT_EQ(*labels, std::vector<std::string>(10, kCaptureLabel));
    }
}

TEST(LinuxDispatch, BackgroundTasksThatBlockDoNotHoldUpTheOthers) {
    constexpr int kTasks = 8;
    struct Meeting {
        std::mutex mutex;
        std::condition_variable changed;
        int arrived = 0;
        int metEveryone = 0;
        int left = 0;
        std::vector<std::string> labels;
    };
    LinuxDispatch dispatch;
    auto meeting = std::make_shared<Meeting>();
    for (int i = 0; i < kTasks; ++i) {
        // Each blocks until all have started: only side by side do they all meet.
        dispatch.runInBackground([&dispatch, meeting] {
            std::unique_lock lock(meeting->mutex);
            meeting->labels.push_back(dispatch.currentQueueLabel());
            ++meeting->arrived;
            meeting->changed.notify_all();
            if (meeting->changed.wait_for(lock, kPatience,
                                          [&] { return meeting->arrived == kTasks; })) {
                ++meeting->metEveryone;
            }
            ++meeting->left;
            meeting->changed.notify_all();
        });
    }
    std::unique_lock lock(meeting->mutex);
    ASSERT_TRUE(
        meeting->changed.wait_for(lock, 2 * kPatience, [&] { return meeting->left == kTasks; }));
    EXPECT_EQ(meeting->metEveryone, kTasks);
    EXPECT_EQ(meeting->labels, std::vector<std::string>(kTasks, "background"));
}

// Runs the app as main() does and sends the process `signal` once it runs.
void runAppThatGets(int signal, bool answersQuitRequests) {
    char program[] = "ventilux";
    char option[] = "--selftest";
    char* argv[] = {program, option, nullptr};
    LinuxDispatch dispatch;
    LinuxApp app(2, argv, dispatch);
    if (answersQuitRequests) {
        app.setQuitRequestHandler([&] {
            // Fully buffered: the line gets out only if the exit flushes it.
            FILE* buffered = fdopen(dup(STDERR_FILENO), "w");
            std::setvbuf(buffered, nullptr, _IOFBF, BUFSIZ);
            std::string line = "quit requested:";
            for (const auto& argument : app.arguments()) {
                line += " " + argument;
            }
            std::fputs(line.c_str(), buffered);
            dispatch.exitProcess(3);
        });
    }
    app.run([signal] { kill(getpid(), signal); });
}

TEST(LinuxAppDeathTest, ATerminationSignalIsAQuitRequest) {
    // The app ends its process: each case runs in a freshly started one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        EXPECT_EXIT(runAppThatGets(signal, true), testing::ExitedWithCode(3),
                    "quit requested: ventilux --selftest");
        EXPECT_EXIT(runAppThatGets(signal, false), testing::ExitedWithCode(0), "");
    }
}

}  // namespace
}  // namespace vx

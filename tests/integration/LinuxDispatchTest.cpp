#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MainContext.h"
#include "platform/linux/LinuxApp.h"
#include "platform/linux/LinuxDispatch.h"

namespace vx {
namespace {

using fixtures::runUntil;
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

// A count that threads wait on: "it happened" is a count of one. Shared, so
// that a late setter never outlives it.
class Counter {
  public:
    // Notifies under the lock: once a waiter sees the count it may destroy
    // this, and the setter must be done with it by then.
    void add() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    bool waitFor(int atLeast = 1) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return count_ >= atLeast; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Returns once everything posted to `queue` before it has run.
bool drain(SerialQueue& queue) {
    auto drained = std::make_shared<Counter>();
    queue.post([drained] { drained->add(); });
    return drained->waitFor();
}

// The runs of a reference timer are the clock the timer tests read: "five
// more of its runs" means "five more intervals", whatever the load.
struct ReferenceClock {
    explicit ReferenceClock(LinuxDispatch& dispatch)
        : timer(dispatch.startTimer(dispatch.makeSerialQueue("reference"), 0, kInterval, kLeeway,
                                    [this] { ticks.add(); })) {}
    bool waitIntervals(int n) { return ticks.waitFor(ticks.count() + n); }

    Counter ticks;
    std::unique_ptr<RepeatingTimer> timer;
};

TEST(LinuxDispatch, EachQueueRunsEveryPostersTasksInOrderAndOneAtATime) {
    constexpr int kPosters = 4;
    constexpr int kPostsEach = 1000;
    LinuxDispatch dispatch;
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    const struct {
        std::string label;
        std::function<void(Task)> post;
    } queues[] = {
        {kCaptureLabel, [&](Task task) { queue->post(std::move(task)); }},
        {"main", [&](Task task) { dispatch.post(std::move(task)); }},
    };
    for (const auto& q : queues) {
        SCOPED_TRACE(q.label);
        // On the queue's thread only, like any queue-confined field.
        std::vector<std::vector<int>> received(kPosters);
        std::set<std::string> labels;
        int running = 0;
        int overlaps = 0;
        std::atomic<int> ran = 0;
        std::vector<std::thread> posters;
        for (int poster = 0; poster < kPosters; ++poster) {
            posters.emplace_back([&, poster] {
                for (int i = 0; i < kPostsEach; ++i) {
                    q.post([&, poster, i] {
                        overlaps += running++ > 0 ? 1 : 0;
                        received[poster].push_back(i);
                        labels.insert(dispatch.currentQueueLabel());
                        --running;
                        ++ran;
                    });
                }
            });
        }
        for (auto& poster : posters) {
            poster.join();
        }
        ASSERT_TRUE(runUntil([&] { return ran == kPosters * kPostsEach; }));

        std::vector<int> inOrder(kPostsEach);
        std::iota(inOrder.begin(), inOrder.end(), 0);
        for (int poster = 0; poster < kPosters; ++poster) {
            EXPECT_EQ(received[poster], inOrder) << "poster " << poster;
        }
        EXPECT_EQ(overlaps, 0);
        EXPECT_EQ(labels, std::set<std::string>{q.label});
    }
}

TEST(LinuxDispatch, MainQueueRunsPostsAfterTheCurrentTaskAndDelayedOnesByDeadline) {
    LinuxDispatch dispatch;
    std::vector<std::string> ran;
    std::vector<double> ranAt;
    const auto origin = Clock::now();
    auto record = [&](const std::string& what) {
        ran.push_back(what);
        ranAt.push_back(Seconds(Clock::now() - origin).count());
    };
    dispatch.postAfter(0.3, [&] { record("after 0.3 s"); });
    dispatch.postAfter(0.1, [&] { record("after 0.1 s"); });
    dispatch.post([&] {
        dispatch.post([&] { record("posted by a main-queue task"); });
        record("at once");
    });
    ASSERT_TRUE(runUntil([&] { return ran.size() == 4; }));

    EXPECT_EQ(ran, (std::vector<std::string>{"at once", "posted by a main-queue task",
                                             "after 0.1 s", "after 0.3 s"}));
    EXPECT_GE(ranAt[2], 0.1);
    EXPECT_GE(ranAt[3], 0.3);
}

// Where each kind of work runs: a handler on the wrong thread would race with
// what it is meant to be serialised with.
TEST(LinuxDispatch, EveryKindOfWorkRunsOnTheThreadOfItsQueue) {
    using Timer = std::unique_ptr<RepeatingTimer>;
    using Arrange = std::function<Timer(LinuxDispatch&, std::shared_ptr<SerialQueue>, Task)>;
    const struct {
        const char* where;
        std::string expected;
        Arrange arrange;
    } cases[] = {
        {"the main thread", "main", [](auto&, auto, Task report) { return report(), nullptr; }},
        {"a delayed main-queue task", "main",
         [](auto& dispatch, auto, Task report) {
             return dispatch.postAfter(0.01, report), nullptr;
         }},
        {"a main timer", "main",
         [](auto& dispatch, auto, Task report) {
             return dispatch.startMainTimer(kInterval, report);
         }},
        {"a timer on a serial queue", kCaptureLabel,
         [](auto& dispatch, auto queue, Task report) {
             return dispatch.startTimer(queue, 0, kInterval, kLeeway, report);
         }},
        {"a background task", "background",
         [](auto& dispatch, auto, Task report) {
             return dispatch.runInBackground(report), nullptr;
         }},
        {"a thread that is none of these", "",
         [](auto&, auto, Task report) { return std::thread(report).join(), nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        LinuxDispatch dispatch;
        // Shared: a timer's later runs may still report while the case ends.
        auto reported = std::make_shared<std::atomic<bool>>(false);
        auto label = std::make_shared<std::promise<std::string>>();
        auto seen = label->get_future();
        Timer timer = c.arrange(dispatch, dispatch.makeSerialQueue(kCaptureLabel),
                                [&dispatch, reported, label] {
                                    if (!reported->exchange(true)) {
                                        label->set_value(dispatch.currentQueueLabel());
                                    }
                                });
        ASSERT_TRUE(
            runUntil([&] { return seen.wait_for(Seconds(0)) == std::future_status::ready; }));
        EXPECT_EQ(seen.get(), c.expected);
    }
}

TEST(LinuxDispatch, QueueTimerKeepsToItsDeadlinesEvenWithABusyHandler) {
    constexpr double kFirstDelay = 0.2;
    constexpr double kGrid = 0.05;
    constexpr size_t kRuns = 40;
    struct Run {
        Clock::time_point start, end;
    };
    LinuxDispatch dispatch;
    std::vector<Run> runs;  // on the queue until `done`
    auto done = std::make_shared<Counter>();
    const auto origin = Clock::now();
    auto timer =
        dispatch.startTimer(dispatch.makeSerialQueue(kCaptureLabel), kFirstDelay, kGrid, 0.01, [&] {
            if (runs.size() == kRuns) {
                return;
            }
            const auto start = Clock::now();
            // Busy for half of each interval, like a frame append.
            std::this_thread::sleep_for(Seconds(kGrid / 2));
            runs.push_back({start, Clock::now()});
            if (runs.size() == kRuns) {
                done->add();
            }
        });
    ASSERT_TRUE(done->waitFor());
    timer.reset();

    // A run may come late, or skip deadlines on a busy machine, but never
    // before its own deadline. A timer that counted its interval from the end
    // of a run would never start the next one sooner than a whole interval
    // after that end; on the grid, it comes at the next deadline.
    size_t soonAfterTheLastRun = 0;
    for (size_t k = 0; k < kRuns; ++k) {
        const double at = Seconds(runs[k].start - origin).count() - kFirstDelay;
        EXPECT_GE(at, double(k) * kGrid) << "run " << k << " came early";
        soonAfterTheLastRun += k > 0 && runs[k].start - runs[k - 1].end < Seconds(kGrid) ? 1 : 0;
    }
    EXPECT_GE(soonAfterTheLastRun, kRuns / 4);
}

TEST(LinuxDispatch, ASlowRunSkipsTheTicksItMissedInsteadOfQueueingThem) {
    LinuxDispatch dispatch;
    ReferenceClock reference(dispatch);
    std::vector<std::string> events;  // on the queue
    int runs = 0;                     // on the queue
    auto thirdRun = std::make_shared<Counter>();
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    auto timer = dispatch.startTimer(queue, 0, kInterval, kLeeway, [&] {
        events.push_back("run " + std::to_string(++runs));
        if (runs == 1) {
            // Outlast several deadlines, then leave a marker behind this run:
            // a backlog of missed runs would already sit in front of it.
            reference.waitIntervals(5);
            queue->post([&] { events.push_back("marker"); });
        }
        if (runs == 3) {
            thirdRun->add();
        }
    });
    ASSERT_TRUE(thirdRun->waitFor());
    timer.reset();
    ASSERT_TRUE(drain(*queue));
    events.resize(4);
    EXPECT_EQ(events, (std::vector<std::string>{"run 1", "marker", "run 2", "run 3"}));
}

enum class Stop { Cancel, Destroy };

// Covers a run already posted behind other work, a handler stopping its own
// timer, and another thread stopping it while a run is under way.
TEST(LinuxDispatch, NoRunStartsOnceATimerIsStopped) {
    enum class Stopper { QueuedWork, Handler, OtherThread };
    const struct {
        const char* name;
        bool onMain;
        Stop how;
        Stopper by;
    } cases[] = {
        {"queue timer cancelled by work it waits behind", false, Stop::Cancel, Stopper::QueuedWork},
        {"queue timer cancelled by its handler", false, Stop::Cancel, Stopper::Handler},
        {"queue timer destroyed by its handler", false, Stop::Destroy, Stopper::Handler},
        {"queue timer cancelled by the main thread during a run", false, Stop::Cancel,
         Stopper::OtherThread},
        {"queue timer destroyed by the main thread during a run", false, Stop::Destroy,
         Stopper::OtherThread},
        {"main timer cancelled by its handler", true, Stop::Cancel, Stopper::Handler},
        {"main timer destroyed by its handler", true, Stop::Destroy, Stopper::Handler},
        {"main timer cancelled by a background task during a run", true, Stop::Cancel,
         Stopper::OtherThread},
        {"main timer destroyed by a background task during a run", true, Stop::Destroy,
         Stopper::OtherThread},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinuxDispatch dispatch;
        ReferenceClock reference(dispatch);
        int runs = 0;  // on the timer's thread
        std::unique_ptr<RepeatingTimer> timer;
        auto armed = std::make_shared<Counter>();
        auto stopped = std::make_shared<Counter>();
        auto queue = dispatch.makeSerialQueue(kCaptureLabel);
        Task stop = [&] {
            c.how == Stop::Cancel ? timer->cancel() : timer.reset();
            stopped->add();
        };
        const int stoppingRun = c.by == Stopper::QueuedWork ? 0 : 2;
        if (c.by == Stopper::QueuedWork) {
            // Holds the queue while the timer's first deadlines pass, so that
            // a run is posted behind it, then stops the timer.
            queue->post([&] {
                armed->waitFor();
                reference.waitIntervals(3);
                stop();
            });
        }
        Task handler = [&] {
            if (++runs != 2) {
                return;
            }
            armed->waitFor();
            if (c.by == Stopper::Handler) {
                return stop();
            }
            // The main thread stops a queue's timer, as a recording's stop
            // does; a background task stops a main timer, whose thread this
            // run holds.
            c.onMain ? dispatch.runInBackground(stop) : dispatch.post(stop);
            EXPECT_TRUE(stopped->waitFor());
        };
        timer = c.onMain ? dispatch.startMainTimer(kInterval, handler)
                         : dispatch.startTimer(queue, 0, kInterval, kLeeway, handler);
        armed->add();
        // Once stopped: five more intervals, then whatever the queue still holds.
        auto settled = std::make_shared<Counter>();
        dispatch.runInBackground([&] {
            stopped->waitFor();
            reference.waitIntervals(5);
            drain(*queue);
            settled->add();
        });
        ASSERT_TRUE(runUntil([&] { return settled->count() > 0; }, 3 * kPatience.count()));
        EXPECT_EQ(runs, stoppingRun);
    }
}

TEST(LinuxDispatch, DroppingAQueueFirstRunsWhatIsStillQueued) {
    LinuxDispatch dispatch;
    int ran = 0;  // on the queue until it is gone
    auto gate = std::make_shared<Counter>();
    auto queue = dispatch.makeSerialQueue(kCaptureLabel);
    queue->post([gate] { gate->waitFor(); });
    for (int i = 0; i < 100; ++i) {
        queue->post([&ran] { ++ran; });
    }
    gate->add();
    queue.reset();
    EXPECT_EQ(ran, 100);
}

TEST(LinuxDispatch, TheLastOwnerOfAQueueMayBeOneOfItsOwnTasks) {
    // Each arranges for the queue's last owner to go on the queue's own
    // thread, after `released`, once the queue has had `more` posted.
    using Arrange = std::function<void(LinuxDispatch&, std::shared_ptr<SerialQueue>,
                                       std::shared_ptr<Counter> released, Task more)>;
    const struct {
        const char* owner;
        Arrange arrange;
    } cases[] = {
        {"a task holding it",
         [](LinuxDispatch&, std::shared_ptr<SerialQueue> queue, std::shared_ptr<Counter> released,
            Task more) {
             SerialQueue& target = *queue;
             target.post([queue = std::move(queue), released, more] {
                 released->waitFor();
                 more();
             });
         }},
        {"a timer that its own handler destroys",
         [](LinuxDispatch& dispatch, std::shared_ptr<SerialQueue> queue,
            std::shared_ptr<Counter> released, Task more) {
             // The handler holds the timer's holder, and ends the timer.
             auto timer = std::make_shared<std::unique_ptr<RepeatingTimer>>();
             auto armed = std::make_shared<Counter>();
             *timer = dispatch.startTimer(std::move(queue), 0, kInterval, kLeeway,
                                          [timer, armed, released, more] {
                                              armed->waitFor();
                                              released->waitFor();
                                              more();
                                              timer->reset();
                                          });
             armed->add();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.owner);
        LinuxDispatch dispatch;
        auto labels = std::make_shared<std::vector<std::string>>();  // on the queue
        auto finished = std::make_shared<Counter>();
        auto released = std::make_shared<Counter>();
        auto queue = dispatch.makeSerialQueue(kCaptureLabel);
        SerialQueue* target = queue.get();
        c.arrange(dispatch, std::move(queue), released, [&dispatch, target, labels, finished] {
            for (int i = 0; i < 10; ++i) {
                target->post(
                    [&dispatch, labels] { labels->push_back(dispatch.currentQueueLabel()); });
            }
            target->post([finished] { finished->add(); });
        });
        released->add();
        ASSERT_TRUE(finished->waitFor());
        EXPECT_EQ(*labels, std::vector<std::string>(10, kCaptureLabel));
    }
}

TEST(LinuxDispatch, BackgroundTasksThatBlockDoNotHoldUpTheOthers) {
    constexpr int kTasks = 8;
    LinuxDispatch dispatch;
    auto arrived = std::make_shared<Counter>();
    auto metEveryone = std::make_shared<Counter>();
    auto left = std::make_shared<Counter>();
    for (int i = 0; i < kTasks; ++i) {
        // Each blocks until all have started: only side by side do they all meet.
        dispatch.runInBackground([=] {
            arrived->add();
            if (arrived->waitFor(kTasks)) {
                metEveryone->add();
            }
            left->add();
        });
    }
    ASSERT_TRUE(left->waitFor(kTasks));
    EXPECT_EQ(metEveryone->count(), kTasks);
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

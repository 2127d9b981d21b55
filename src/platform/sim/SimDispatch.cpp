#include "platform/sim/SimDispatch.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vx::platform::sim {

class SimDispatch::Queue : public SerialQueue {
  public:
    explicit Queue(std::string label) : label_(std::move(label)) {}
    void post(Task task) override { tasks.push_back(std::move(task)); }
    const std::string& label() const override { return label_; }

    std::deque<Task> tasks;

  private:
    std::string label_;
};

class SimDispatch::Timer : public RepeatingTimer {
  public:
    explicit Timer(std::shared_ptr<bool> cancelled) : cancelled_(std::move(cancelled)) {}
    ~Timer() override { cancel(); }
    void cancel() override { *cancelled_ = true; }

  private:
    std::shared_ptr<bool> cancelled_;
};

namespace {
using std::chrono::duration_cast;
using Seconds = std::chrono::duration<double>;
}  // namespace

SimDispatch::SimDispatch()
    : wallStart_(std::chrono::system_clock::now()),
      steadyStart_(std::chrono::steady_clock::now()) {}

SimDispatch::~SimDispatch() = default;

void SimDispatch::post(Task task) {
    main_.push_back(std::move(task));
}

void SimDispatch::postAfter(double seconds, Task task) {
    schedule(elapsed_ + std::max(seconds, 0.0), [this, task = std::move(task)] { post(task); });
}

std::shared_ptr<SerialQueue> SimDispatch::makeSerialQueue(const std::string& label) {
    auto queue = std::make_shared<Queue>(label);
    queues_.push_back(queue);
    return queue;
}

void SimDispatch::runInBackground(Task task) {
    if (holdBackground_) {
        heldBackground_.push_back(std::move(task));
    } else {
        background_.push_back(std::move(task));
    }
}

std::unique_ptr<RepeatingTimer> SimDispatch::startTimer(std::shared_ptr<SerialQueue> queue,
                                                        double firstDelay, double interval,
                                                        double /*leeway*/, Task handler) {
    auto cancelled = std::make_shared<bool>(false);
    std::weak_ptr<SerialQueue> weakQueue = queue;
    scheduleRepeating(
        cancelled, elapsed_ + std::max(firstDelay, 0.0), interval,
        [weakQueue](Task run) {
            if (auto target = weakQueue.lock()) {
                target->post(std::move(run));
            }
        },
        std::move(handler));
    return std::make_unique<Timer>(cancelled);
}

std::unique_ptr<RepeatingTimer> SimDispatch::startMainTimer(double interval, Task handler) {
    auto cancelled = std::make_shared<bool>(false);
    scheduleRepeating(
        cancelled, elapsed_ + interval, interval, [this](Task run) { post(std::move(run)); },
        std::move(handler));
    return std::make_unique<Timer>(cancelled);
}

void SimDispatch::scheduleRepeating(std::shared_ptr<bool> cancelled, double deadline,
                                    double interval, std::function<void(Task)> deliver,
                                    Task handler) {
    schedule(deadline, [=, this] {
        if (*cancelled) {
            return;
        }
        // A run delivered before cancel() but not yet started must not start.
        deliver([cancelled, handler] {
            if (!*cancelled) {
                handler();
            }
        });
        scheduleRepeating(cancelled, deadline + interval, interval, deliver, handler);
    });
}

std::chrono::system_clock::time_point SimDispatch::now() const {
    return wallStart_ + duration_cast<std::chrono::system_clock::duration>(Seconds(elapsed_));
}

std::chrono::steady_clock::time_point SimDispatch::steadyNow() const {
    return steadyStart_ + duration_cast<std::chrono::steady_clock::duration>(Seconds(elapsed_));
}

std::string SimDispatch::currentQueueLabel() const {
    return currentLabel_;
}

void SimDispatch::exitProcess(int status) {
    if (!exitStatus_) {
        exitStatus_ = status;
    }
}

void SimDispatch::runUntilIdle() {
    while (!exitStatus_ && (runOneReadyTask() || fireOneDueEvent(elapsed_))) {
    }
}

bool SimDispatch::fireOneDueEvent(double horizon) {
    if (timed_.empty() || std::get<0>(timed_.begin()->first) > horizon) {
        return false;
    }
    auto next = timed_.extract(timed_.begin());
    elapsed_ = std::max(elapsed_, std::get<0>(next.key()));
    next.mapped()();
    return true;
}

bool SimDispatch::runOneReadyTask() {
    if (!main_.empty()) {
        Task task = std::move(main_.front());
        main_.pop_front();
        runLabelled("main", task);
        return true;
    }
    for (size_t i = 0; i < queues_.size(); ++i) {
        auto queue = queues_[i].lock();
        if (queue && !queue->tasks.empty()) {
            Task task = std::move(queue->tasks.front());
            queue->tasks.pop_front();
            runLabelled(queue->label(), task);
            return true;
        }
    }
    if (!background_.empty()) {
        Task task = std::move(background_.front());
        background_.pop_front();
        runLabelled("background", task);
        return true;
    }
    return false;
}

void SimDispatch::runLabelled(const std::string& label, const Task& task) {
    std::string outer = std::exchange(currentLabel_, label);
    task();
    currentLabel_ = outer;
}

void SimDispatch::advance(double seconds) {
    const double target = elapsed_ + seconds;
    runUntilIdle();
    while (!exitStatus_ && fireOneDueEvent(target)) {
        runUntilIdle();
    }
    if (!exitStatus_) {
        elapsed_ = target;
    }
}

void SimDispatch::schedule(double deadline, Task action) {
    timed_.emplace(std::make_tuple(deadline, nextSequence_++), std::move(action));
}

void SimDispatch::runHeldBackgroundTask(size_t index) {
    if (index >= heldBackground_.size()) {
        throw std::out_of_range("no held background task with that index");
    }
    Task task = std::move(heldBackground_[index]);
    heldBackground_.erase(heldBackground_.begin() + static_cast<std::ptrdiff_t>(index));
    runLabelled("background", task);
}

}  // namespace vx::platform::sim

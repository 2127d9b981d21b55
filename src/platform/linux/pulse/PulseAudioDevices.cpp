#include "platform/linux/pulse/PulseAudioDevices.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <memory>
#include <utility>

namespace vx::platform::linux_ {
namespace {

// Long enough for a busy server, short enough that an unresponsive one does not
// stall whoever asked (the menu asks while it opens).
constexpr std::chrono::milliseconds kAnswerDeadline{1000};

struct FreeMainloop {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ReleaseContext {
    void operator()(pa_context* context) const {
        // Disconnecting reports a last state change; nobody is listening any more.
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

// What one enumeration has learnt so far; the callbacks below fill it in.
struct SourceQuery {
    std::vector<AudioInput> inputs;
    bool finished = false;
    bool complete = false;  // the server listed every source
};

void onSource(pa_context*, const pa_source_info* info, int endOfList, void* userdata) {
    auto& query = *static_cast<SourceQuery*>(userdata);
    if (endOfList != 0) {
        query.complete = endOfList > 0;
        query.finished = true;
        return;
    }
    // A sink's monitor records what is played, not a microphone.
    if (info->monitor_of_sink == PA_INVALID_INDEX) {
        query.inputs.push_back(
            {info->name, info->description != nullptr ? info->description : info->name});
    }
}

void onStateChange(pa_context* context, void* userdata) {
    auto& query = *static_cast<SourceQuery*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (pa_operation* listing =
                    pa_context_get_source_info_list(context, onSource, &query)) {
                pa_operation_unref(listing);
            } else {
                query.finished = true;
            }
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            query.finished = true;
            break;
        default:
            break;
    }
}

}  // namespace

PulseAudioDevices::PulseAudioDevices(std::string server) : server_(std::move(server)) {}

std::vector<AudioInput> PulseAudioDevices::inputs() {
    // A private loop per call: nothing is shared between threads, and a server that
    // went away since the last call costs nothing to notice.
    std::unique_ptr<pa_mainloop, FreeMainloop> loop(pa_mainloop_new());
    if (!loop) {
        return {};
    }
    std::unique_ptr<pa_context, ReleaseContext> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Ventilux"));
    if (!context) {
        return {};
    }
    SourceQuery query;
    pa_context_set_state_callback(context.get(), onStateChange, &query);
    // Without a running server there is nothing to list; never start one for a menu.
    if (pa_context_connect(context.get(), server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + kAnswerDeadline;
    while (!query.finished) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0) {
            break;
        }
    }
    // A list cut short would offer a wrong choice of microphones; offer none instead.
    return query.complete ? std::move(query.inputs) : std::vector<AudioInput>{};
}

}  // namespace vx::platform::linux_

#include "platform/linux/pulse/PulseAudioDevices.h"

#include <pulse/context.h>
#include <pulse/glib-mainloop.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>

#include <utility>

namespace vx::platform::linux_ {
namespace {

// How long a caller of whenListed() waits at most for a server that has not
// answered yet: long enough for a busy one, short enough that a hung one does not
// hold up whoever asked.
constexpr guint kPatienceMs = 1000;
// How often a server that is not there is looked for again.
constexpr guint kRetrySeconds = 2;

}  // namespace

PulseAudioDevices::PulseAudioDevices(std::string server)
    : server_(std::move(server)), loop_(pa_glib_mainloop_new(nullptr)) {
    connect();
}

PulseAudioDevices::~PulseAudioDevices() {
    for (guint source : {retry_, patience_}) {
        if (source != 0) {
            g_source_remove(source);
        }
    }
    release();
    pa_glib_mainloop_free(loop_);
}

void PulseAudioDevices::whenListed(std::function<void()> then) {
    if (answered_) {
        then();
        return;
    }
    waiting_.push_back(std::move(then));
    if (patience_ == 0) {
        patience_ = g_timeout_add(kPatienceMs, &PulseAudioDevices::onPatienceOver, this);
    }
}

void PulseAudioDevices::connect() {
    context_ = pa_context_new(pa_glib_mainloop_get_api(loop_), "Ventilux");
    pa_context_set_state_callback(context_, &PulseAudioDevices::onStateChange, this);
    pa_context_set_subscribe_callback(context_, &PulseAudioDevices::onSourceEvent, this);
    // A list of microphones is no reason to start a sound server.
    if (pa_context_connect(context_, server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        lost();
    }
}

void PulseAudioDevices::release() {
    if (context_ == nullptr) {
        return;
    }
    // Disconnecting reports a last state change; nobody is listening any more.
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(std::exchange(context_, nullptr));
}

// No server, or no longer: no microphones until one answers. The context is let go
// from the retry timer, never from within its own callback.
void PulseAudioDevices::lost() {
    if (retry_ != 0) {
        return;
    }
    inputs_.clear();
    listing_ = false;
    changedWhileListing_ = false;
    listed();
    retry_ = g_timeout_add_seconds(kRetrySeconds, &PulseAudioDevices::onRetry, this);
}

gboolean PulseAudioDevices::onRetry(gpointer data) {
    auto& self = *static_cast<PulseAudioDevices*>(data);
    self.retry_ = 0;
    self.release();
    self.connect();
    return G_SOURCE_REMOVE;
}

void PulseAudioDevices::onStateChange(pa_context* context, void* data) {
    auto& self = *static_cast<PulseAudioDevices*>(data);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (pa_operation* subscribing =
                    pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr)) {
                pa_operation_unref(subscribing);
            }
            self.relist();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self.lost();
            break;
        default:
            break;
    }
}

void PulseAudioDevices::onSourceEvent(pa_context*, pa_subscription_event_type_t, uint32_t,
                                      void* data) {
    // Only source events were subscribed to; each may add, drop or rename a microphone.
    static_cast<PulseAudioDevices*>(data)->relist();
}

// One listing at a time: changes that come while one is out are all answered by the next.
void PulseAudioDevices::relist() {
    if (listing_) {
        changedWhileListing_ = true;
        return;
    }
    pa_operation* listing = pa_context_get_source_info_list(context_, onSource, this);
    if (listing != nullptr) {
        pa_operation_unref(listing);
        listing_ = true;
        incoming_.clear();
    }
}

void PulseAudioDevices::onSource(pa_context*, const pa_source_info* info, int endOfList,
                                 void* data) {
    auto& self = *static_cast<PulseAudioDevices*>(data);
    if (endOfList == 0) {
        // A sink's monitor records what is played, not a microphone.
        if (info->monitor_of_sink == PA_INVALID_INDEX) {
            self.incoming_.push_back(
                {info->name, info->description != nullptr ? info->description : info->name});
        }
        return;
    }
    // A list cut short would offer a wrong choice of microphones; offer none instead.
    self.inputs_ = endOfList > 0 ? std::exchange(self.incoming_, {}) : std::vector<AudioInput>{};
    self.listing_ = false;
    self.listed();
    if (std::exchange(self.changedWhileListing_, false)) {
        self.relist();
    }
}

void PulseAudioDevices::listed() {
    answered_ = true;
    if (patience_ != 0) {
        g_source_remove(std::exchange(patience_, 0));
    }
    runWaiting();
}

gboolean PulseAudioDevices::onPatienceOver(gpointer data) {
    auto& self = *static_cast<PulseAudioDevices*>(data);
    self.patience_ = 0;
    self.runWaiting();
    return G_SOURCE_REMOVE;
}

void PulseAudioDevices::runWaiting() {
    for (auto& then : std::exchange(waiting_, {})) {
        then();
    }
}

}  // namespace vx::platform::linux_

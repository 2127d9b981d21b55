#include "platform/linux/pulse/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/thread-mainloop.h>

#include <chrono>

namespace vx::platform::linux_ {

namespace {

// Long enough for a busy server, short enough that a hung one does not hold the
// start of a recording.
constexpr auto kConnectDeadline = std::chrono::seconds(3);

}  // namespace

std::expected<std::unique_ptr<PulseConnection>, Error> PulseConnection::open(
    const std::string& server, std::function<void()> onLost) {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    pa_context* context =
        loop != nullptr ? pa_context_new(pa_threaded_mainloop_get_api(loop), "Ventilux") : nullptr;
    if (context == nullptr) {
        if (loop != nullptr) {
            pa_threaded_mainloop_free(loop);
        }
        return std::unexpected(Error{kPulseErrorDomain, 0, "Out of memory for the sound server."});
    }
    std::unique_ptr<PulseConnection> connection(
        new PulseConnection(loop, context, std::move(onLost)));
    pa_context_set_state_callback(context, &PulseConnection::onStateChange, connection.get());
    if (pa_context_connect(context, server.empty() ? nullptr : server.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop) < 0) {
        return std::unexpected(
            Error{kPulseErrorDomain, 0,
                  "Cannot reach the sound server: " + connection->lastError() + "."});
    }
    std::unique_lock lock(connection->mutex_);
    const bool answered = connection->changed_.wait_for(
        lock, kConnectDeadline, [&] { return connection->ready_ || connection->ended_; });
    if (!connection->ready_) {
        lock.unlock();
        connection->lock();
        const std::string cause = answered ? connection->lastError() : "it does not answer";
        connection->unlock();
        return std::unexpected(
            Error{kPulseErrorDomain, 0, "Cannot reach the sound server: " + cause + "."});
    }
    return connection;
}

PulseConnection::PulseConnection(pa_threaded_mainloop* loop, pa_context* context,
                                 std::function<void()> onLost)
    : loop_(loop), context_(context), onLost_(std::move(onLost)) {}

PulseConnection::~PulseConnection() {
    pa_threaded_mainloop_lock(loop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_context_unref(context_);
    pa_threaded_mainloop_free(loop_);
}

void PulseConnection::lock() {
    pa_threaded_mainloop_lock(loop_);
}

void PulseConnection::unlock() {
    pa_threaded_mainloop_unlock(loop_);
}

std::string PulseConnection::lastError() const {
    return pa_strerror(pa_context_errno(context_));
}

void PulseConnection::onStateChange(pa_context* context, void* userdata) {
    auto& self = *static_cast<PulseConnection*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    bool lost = false;
    {
        std::lock_guard lock(self.mutex_);
        if (state == PA_CONTEXT_READY) {
            self.ready_ = true;
        } else if (!PA_CONTEXT_IS_GOOD(state)) {
            lost = self.ready_ && !self.ended_;
            self.ended_ = true;
        }
    }
    self.changed_.notify_all();
    if (lost && self.onLost_) {
        self.onLost_();
    }
}

}  // namespace vx::platform::linux_

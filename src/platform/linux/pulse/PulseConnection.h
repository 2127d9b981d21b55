#pragma once

#include <condition_variable>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Types.h"

struct pa_context;
struct pa_threaded_mainloop;

namespace vx::platform::linux_ {

inline constexpr const char* kPulseErrorDomain = "PulseAudio";

// A connection to the sound server with its own event thread, on which every
// stream callback runs. Loss of the server after the connection is reported
// once, on that thread.
class PulseConnection {
  public:
    // `server` empty means the user's default server. Never starts a server.
    static std::expected<std::unique_ptr<PulseConnection>, Error> open(
        const std::string& server, std::function<void()> onLost);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_context* context() const { return context_; }
    // Holds the event thread's lock: needed around every call into the context
    // or its streams from another thread.
    void lock();
    void unlock();
    // The server's text for its last error.
    std::string lastError() const;

  private:
    PulseConnection(pa_threaded_mainloop* loop, pa_context* context, std::function<void()> onLost);
    static void onStateChange(pa_context* context, void* userdata);

    pa_threaded_mainloop* loop_;
    pa_context* context_;
    std::function<void()> onLost_;  // event thread only, once ready
    // The connection's progress, as the event thread last saw it.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;  // guarded by mutex_
    bool ended_ = false;  // guarded by mutex_
};

}  // namespace vx::platform::linux_

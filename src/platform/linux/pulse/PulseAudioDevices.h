#pragma once

#include <glib.h>
#include <pulse/def.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/AudioDevices.h"

struct pa_context;
struct pa_glib_mainloop;
struct pa_source_info;

namespace vx::platform::linux_ {

// Microphones as the PulseAudio server (or PipeWire's pulse server) lists them: every
// source that is not the monitor of an output. Desktop Linux has no per-application
// microphone permission, so access is always granted.
//
// The list is kept on the main loop, through libpulse's GLib main-loop integration
// on the default context rather than a threaded main loop of its own: the list is
// read and changed on the main thread alone, so it needs no lock and no thread, and
// libpulse never waits on its socket, so the main loop never waits for the server.
// The server's source events keep the list current; a server that goes away empties
// it, and one that starts (again) later is found by a retry every few seconds. A
// server that stops answering leaves the list as it last told it.
class PulseAudioDevices : public AudioDevices {
  public:
    // `server` empty means the user's default server (PULSE_SERVER, client.conf, ...).
    // Connects at once; the list comes in once the main loop runs.
    explicit PulseAudioDevices(std::string server = {});
    ~PulseAudioDevices() override;
    PulseAudioDevices(const PulseAudioDevices&) = delete;
    PulseAudioDevices& operator=(const PulseAudioDevices&) = delete;

    std::vector<AudioInput> inputs() override { return inputs_; }
    // Waits a second at most for a server that has not answered yet.
    void whenListed(std::function<void()> then) override;
    MicrophoneAuthorization authorizationStatus() override {
        return MicrophoneAuthorization::authorized;
    }
    void requestAccess(std::function<void(bool)> handler) override { handler(true); }

  private:
    static void onStateChange(pa_context* context, void* self);
    static void onSourceEvent(pa_context* context, pa_subscription_event_type_t event,
                              uint32_t index, void* self);
    static void onSource(pa_context* context, const pa_source_info* info, int endOfList,
                         void* self);
    static gboolean onRetry(gpointer self);
    static gboolean onPatienceOver(gpointer self);

    void connect();
    void release();
    void lost();
    void relist();
    void listed();
    void runWaiting();

    // Everything below belongs to the main thread.
    const std::string server_;
    pa_glib_mainloop* loop_;
    pa_context* context_ = nullptr;
    guint retry_ = 0;     // a reconnection is due
    guint patience_ = 0;  // whenListed() callers are waiting
    std::vector<AudioInput> inputs_;
    bool answered_ = false;             // inputs_ is what the server, or its absence, says
    std::vector<AudioInput> incoming_;  // the listing under way
    bool listing_ = false;
    bool changedWhileListing_ = false;
    std::vector<std::function<void()>> waiting_;
};

}  // namespace vx::platform::linux_

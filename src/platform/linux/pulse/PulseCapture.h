#pragma once

#include <chrono>
#include <condition_variable>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/Types.h"
#include "platform/linux/pulse/PulseConnection.h"
#include "platform/linux/pulse/SampleClock.h"

struct pa_stream;

namespace vx::platform::linux_ {

// One record stream from a sound server source, delivering 48 kHz stereo float
// samples (the server converts whatever the source has) as they arrive.
class PulseCapture {
  public:
    using Clock = std::chrono::steady_clock;
    // Runs on the connection's event thread: interleaved samples, and when the
    // last of them was taken (for what an output plays: when it is heard).
    using SampleSink = std::function<void(std::span<const float> samples, Clock::time_point)>;

    // `source` is a source name, or "@DEFAULT_MONITOR@" for what the default
    // output plays; `label` names it in messages ("The microphone “x”").
    // Returns once the stream runs, or fails when the server refuses it.
    static std::expected<std::unique_ptr<PulseCapture>, Error> open(
        PulseConnection& connection, const std::string& source, const std::string& label,
        int sampleRate, int channels, SampleSink sink, std::function<void(Error)> onFailure);
    // No callback runs once this returns.
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

  private:
    PulseCapture(PulseConnection& connection, std::string label, int sampleRate, int channels,
                 SampleSink sink, std::function<void(Error)> onFailure);
    static void onStateChange(pa_stream* stream, void* userdata);
    static void onReadable(pa_stream* stream, size_t bytes, void* userdata);

    PulseConnection& connection_;
    const std::string label_;
    const int channels_;
    SampleSink sink_;
    std::function<void(Error)> onFailure_;
    // Event thread only.
    SampleClock clock_;
    int64_t read_ = 0;  // samples read from the stream so far
    pa_stream* stream_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;  // guarded by mutex_
    bool ended_ = false;  // guarded by mutex_
};

}  // namespace vx::platform::linux_

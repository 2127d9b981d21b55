#include "platform/linux/pulse/PulseCapture.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace vx::platform::linux_ {

namespace {

constexpr auto kStartDeadline = std::chrono::seconds(3);
// Small pieces keep the sound close behind the picture and the mix smooth.
constexpr int kFragmentMilliseconds = 20;
// Latencies the server reports beyond this are its timing still settling (for
// a while it keeps telling an idle output's latency of seconds): the sources
// we record lag less, and a sample taken earlier still than this would come
// too late for the mix anyway.
constexpr std::chrono::microseconds kLargestLatency = std::chrono::milliseconds(100);

}  // namespace

std::expected<std::unique_ptr<PulseCapture>, Error> PulseCapture::open(
    PulseConnection& connection, const std::string& source, const std::string& label,
    int sampleRate, int channels, SampleSink sink, std::function<void(Error)> onFailure) {
    std::unique_ptr<PulseCapture> capture(new PulseCapture(connection, label, sampleRate, channels,
                                                           std::move(sink), std::move(onFailure)));
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, uint32_t(sampleRate), uint8_t(channels)};
    pa_buffer_attr attributes{};
    attributes.maxlength = uint32_t(-1);
    attributes.fragsize =
        uint32_t(pa_usec_to_bytes(uint64_t(kFragmentMilliseconds) * PA_USEC_PER_MSEC, &format));
    connection.lock();
    capture->stream_ = pa_stream_new(connection.context(), "Recording", &format, nullptr);
    int refused = capture->stream_ == nullptr ? -1 : 0;
    if (refused == 0) {
        pa_stream_set_state_callback(capture->stream_, &PulseCapture::onStateChange, capture.get());
        pa_stream_set_read_callback(capture->stream_, &PulseCapture::onReadable, capture.get());
        // The recording is of this source: never follow the server moving it.
        // The server's timing, kept current, tells when each sample was taken.
        refused = pa_stream_connect_record(
            capture->stream_, source.c_str(), &attributes,
            pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                              PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE));
    }
    std::string cause = refused < 0 ? connection.lastError() : "";
    connection.unlock();

    if (refused == 0) {
        std::unique_lock lock(capture->mutex_);
        const bool answered = capture->changed_.wait_for(
            lock, kStartDeadline, [&] { return capture->ready_ || capture->ended_; });
        if (capture->ready_) {
            return capture;
        }
        lock.unlock();
        connection.lock();
        cause = answered ? connection.lastError() : "the sound server does not answer";
        connection.unlock();
    }
    return std::unexpected(
        Error{kPulseErrorDomain, 0, label + " cannot be recorded: " + cause + "."});
}

PulseCapture::PulseCapture(PulseConnection& connection, std::string label, int sampleRate,
                           int channels, SampleSink sink, std::function<void(Error)> onFailure)
    : connection_(connection),
      label_(std::move(label)),
      channels_(channels),
      sink_(std::move(sink)),
      onFailure_(std::move(onFailure)),
      clock_(sampleRate) {}

PulseCapture::~PulseCapture() {
    if (stream_ == nullptr) {
        return;
    }
    connection_.lock();
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    connection_.unlock();
}

void PulseCapture::onStateChange(pa_stream* stream, void* userdata) {
    auto& self = *static_cast<PulseCapture*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    bool failed = false;
    {
        std::lock_guard lock(self.mutex_);
        if (state == PA_STREAM_READY) {
            self.ready_ = true;
        } else if (!PA_STREAM_IS_GOOD(state)) {
            failed = self.ready_ && !self.ended_;
            self.ended_ = true;
        }
    }
    self.changed_.notify_all();
    if (failed) {
        self.onFailure_(Error{kPulseErrorDomain, 0, self.label_ + " stopped delivering sound."});
    }
}

void PulseCapture::onReadable(pa_stream* stream, size_t, void* userdata) {
    auto& self = *static_cast<PulseCapture*>(userdata);
    const Clock::time_point now = Clock::now();
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
        // How long ago the next sample was taken. For a monitor the latency is
        // negative: its samples come as the output takes them, and are heard
        // only later.
        const auto since = std::min(std::chrono::microseconds(latency), kLargestLatency);
        self.clock_.observe(self.read_, negative ? now + since : now - since);
    }
    const size_t frameBytes = sizeof(float) * size_t(self.channels_);
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 &&
           bytes > 0) {
        const size_t frames = bytes / frameBytes;
        self.read_ += int64_t(frames);
        // A hole (no data but a length) is sound the server lost; the mix
        // fills it with silence.
        if (data != nullptr) {
            self.sink_({static_cast<const float*>(data), frames * size_t(self.channels_)},
                       self.clock_.timeOf(self.read_).value_or(now));
        }
        pa_stream_drop(stream);
    }
}

}  // namespace vx::platform::linux_

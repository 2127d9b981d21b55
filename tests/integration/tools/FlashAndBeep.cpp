// Makes sound and picture happen together, so that a recording can be checked
// for keeping them together. The whole screen is black and the default output
// plays silence; at each moment named on the command line (seconds after it
// printed "ready") a beep starts and, at the instant the sound server plays
// its first sample, the screen turns white, for 150 ms each.
//
//   flash-and-beep SECONDS...
//
// The beep's moment comes from the server's own account of the playback
// stream: sample n plays when the stream's time reaches n / rate. Two checks
// of that truth are printed for each event, in milliseconds after the moment:
// when the screen turned white (between sending the fill and the server's
// answer), and when a record stream of the output's monitor heard the beep.
//
//   event 1.000 flash 0.21 heard -0.05
//
// Exits 0 after the last event; 1 with one sentence on standard error when
// the display or the sound server cannot be used.
#include <pulse/pulseaudio.h>
#include <sched.h>
#include <time.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr double kBeepHz = 1000;
constexpr float kBeepAmplitude = 0.5f;
constexpr int64_t kEventMicroseconds = 150'000;
// The output keeps this much queued, enough not to run dry on a busy machine.
// Should it still, the stream goes on in time without waiting for more
// samples, so that sample n plays at n / rate whatever happened before.
constexpr int64_t kBufferMicroseconds = 100'000;
// A beep is placed in the stream this long before it plays, well ahead of
// what has been written.
constexpr int64_t kScheduleAheadMicroseconds = 400'000;
// The play moment is estimated again this long before it, from fresher timing.
constexpr int64_t kRefineAheadMicroseconds = 30'000;
constexpr int64_t kSpinMicroseconds = 2'000;
// What the monitor counts as the beep: half its amplitude.
constexpr float kHeardLevel = kBeepAmplitude / 2;

[[noreturn]] void die(const std::string& sentence) {
    std::fprintf(stderr, "%s\n", sentence.c_str());
    std::exit(1);
}

int64_t nowMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

void sleepUntil(int64_t microseconds) {
    const timespec until{time_t(microseconds / 1'000'000), long(microseconds % 1'000'000) * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

// Sleeps to just before the moment, then spins: waking from a sleep may take
// milliseconds on a busy machine.
void awaitExactly(int64_t microseconds) {
    sleepUntil(microseconds - kSpinMicroseconds);
    while (nowMicroseconds() < microseconds) {
    }
}

// A black window over the whole screen that turns white on request.
class Screen {
  public:
    Screen() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) {
            die("The display cannot be opened.");
        }
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const uint32_t values[] = {screen_->black_pixel, 1};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, 0, 0,
                          screen_->width_in_pixels, screen_->height_in_pixels, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, window_);
        sync();
    }
    ~Screen() { xcb_disconnect(connection_); }

    // Returns once the server has painted, halfway between asking and hearing back.
    int64_t paint(bool white) {
        const uint32_t pixel = white ? screen_->white_pixel : screen_->black_pixel;
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        const int64_t asked = nowMicroseconds();
        xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
        sync();
        return (asked + nowMicroseconds()) / 2;
    }

  private:
    void sync() {
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        if (xcb_connection_has_error(connection_)) {
            die("The display closed.");
        }
    }

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
    xcb_window_t window_;
};

// Silence and beeps into the default output, and an ear on its monitor.
// Everything but the constructor runs under the threaded main loop's lock.
class Sound {
  public:
    Sound() {
        loop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "flash-and-beep");
        pa_context_set_state_callback(context_, &Sound::contextChanged, this);
        pa_threaded_mainloop_lock(loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0 ||
            pa_threaded_mainloop_start(loop_) < 0) {
            die("The sound server cannot be reached.");
        }
        awaitContext();
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 1};
        const auto flags =
            pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                              PA_STREAM_ADJUST_LATENCY | PA_STREAM_FIX_RATE);
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.fragsize = uint32_t(-1);
        attributes.prebuf = 0;
        attributes.tlength = uint32_t(pa_usec_to_bytes(kBufferMicroseconds, &format));
        attributes.minreq = uint32_t(pa_usec_to_bytes(kBufferMicroseconds / 4, &format));
        output_ = pa_stream_new(context_, "beeps", &format, nullptr);
        pa_stream_set_state_callback(output_, &Sound::streamChanged, this);
        pa_stream_set_latency_update_callback(output_, &Sound::streamChanged, this);
        pa_stream_set_write_callback(output_, &Sound::onWritable, this);
        if (pa_stream_connect_playback(output_, nullptr, &attributes, flags, nullptr, nullptr) <
            0) {
            die("The sound server refuses to play.");
        }
        awaitStream(output_, "The output");
        rate_ = pa_stream_get_sample_spec(output_)->rate;

        attributes.fragsize = uint32_t(pa_usec_to_bytes(kBufferMicroseconds / 20, &format));
        monitor_ = pa_stream_new(context_, "ear", &format, nullptr);
        pa_stream_set_state_callback(monitor_, &Sound::streamChanged, this);
        pa_stream_set_read_callback(monitor_, &Sound::onReadable, this);
        if (pa_stream_connect_record(monitor_, "@DEFAULT_MONITOR@", &attributes, flags) < 0) {
            die("The sound server refuses to record its output.");
        }
        awaitStream(monitor_, "The output's monitor");
        // An idle output may take a while to start taking samples; its timing
        // is steady once it has played for a moment.
        while (written_ < rate_ / 2 || playingTime() < 0) {
            pa_threaded_mainloop_wait(loop_);
        }
        pa_threaded_mainloop_unlock(loop_);
    }
    // The loop's thread calls back into this object, so it ends first.
    ~Sound() {
        pa_threaded_mainloop_stop(loop_);
        for (pa_stream* stream : {output_, monitor_}) {
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_free(loop_);
    }
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // The first sample of a beep that is to play `at` (monotonic microseconds).
    int64_t scheduleBeep(int64_t at) {
        Locked lock(loop_);
        const int64_t sample = int64_t(std::llround(double(streamTimeAt(at)) * rate_ / 1e6));
        if (sample < written_) {
            die("The output runs too far ahead to place a beep in time.");
        }
        beeps_.push_back(sample);
        return sample;
    }
    // When that sample plays, as the server tells now.
    int64_t playMoment(int64_t sample) {
        Locked lock(loop_);
        const int64_t now = nowMicroseconds();
        return now + sample * 1'000'000 / rate_ - playingTime();
    }
    // When the monitor heard each beep begin.
    std::vector<int64_t> heardOnsets() {
        Locked lock(loop_);
        std::vector<int64_t> origins = monitorOrigins_;
        if (origins.empty()) {
            return {};
        }
        std::nth_element(origins.begin(), origins.begin() + ptrdiff_t(origins.size() / 2),
                         origins.end());
        const int64_t origin = origins[origins.size() / 2];
        std::vector<int64_t> onsets;
        for (const int64_t sample : heard_) {
            onsets.push_back(origin + sample * 1'000'000 / rate_);
        }
        return onsets;
    }

  private:
    struct Locked {
        explicit Locked(pa_threaded_mainloop* loop) : loop(loop) {
            pa_threaded_mainloop_lock(loop);
        }
        ~Locked() { pa_threaded_mainloop_unlock(loop); }
        pa_threaded_mainloop* loop;
    };

    void awaitContext() {
        for (pa_context_state_t state;
             (state = pa_context_get_state(context_)) != PA_CONTEXT_READY;) {
            if (!PA_CONTEXT_IS_GOOD(state)) {
                die("The sound server cannot be reached.");
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }
    void awaitStream(pa_stream* stream, const char* what) {
        for (pa_stream_state_t state; (state = pa_stream_get_state(stream)) != PA_STREAM_READY;) {
            if (!PA_STREAM_IS_GOOD(state)) {
                die(std::string(what) +
                    " cannot be used: " + pa_strerror(pa_context_errno(context_)) + ".");
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }
    // The stream time of the sample playing now, in microseconds; -1 before the
    // server first told.
    int64_t playingTime() {
        pa_usec_t time = 0;
        return pa_stream_get_time(output_, &time) == 0 ? int64_t(time) : -1;
    }
    int64_t streamTimeAt(int64_t moment) { return playingTime() + (moment - nowMicroseconds()); }

    static void contextChanged(pa_context*, void* self) {
        pa_threaded_mainloop_signal(static_cast<Sound*>(self)->loop_, 0);
    }
    static void streamChanged(pa_stream*, void* self) {
        pa_threaded_mainloop_signal(static_cast<Sound*>(self)->loop_, 0);
    }

    static void onWritable(pa_stream* stream, size_t bytes, void* userdata) {
        auto& self = *static_cast<Sound*>(userdata);
        std::vector<float> samples(bytes / sizeof(float), 0.0f);
        const int64_t beepLength = kEventMicroseconds * self.rate_ / 1'000'000;
        for (size_t i = 0; i < samples.size(); ++i) {
            const int64_t n = self.written_ + int64_t(i);
            for (const int64_t start : self.beeps_) {
                if (n >= start && n < start + beepLength) {
                    // Starting at the crest: the first sample is already loud.
                    samples[i] =
                        kBeepAmplitude *
                        float(std::cos(2 * M_PI * kBeepHz * double(n - start) / self.rate_));
                }
            }
        }
        pa_stream_write(stream, samples.data(), samples.size() * sizeof(float), nullptr, 0,
                        PA_SEEK_RELATIVE);
        self.written_ += int64_t(samples.size());
        pa_threaded_mainloop_signal(self.loop_, 0);
    }
    static void onReadable(pa_stream* stream, size_t, void* userdata) {
        auto& self = *static_cast<Sound*>(userdata);
        pa_usec_t latency = 0;
        int negative = 0;
        const int64_t now = nowMicroseconds();
        if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
            // A monitor's latency is negative for what the output plays only later.
            const int64_t next = now - (negative ? -int64_t(latency) : int64_t(latency));
            self.monitorOrigins_.push_back(next - self.monitored_ * 1'000'000 / self.rate_);
        }
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const auto* samples = static_cast<const float*>(data);
            const int64_t count = int64_t(bytes / sizeof(float));
            for (int64_t i = 0; data != nullptr && i < count; ++i) {
                const int64_t n = self.monitored_ + i;
                if (std::fabs(samples[i]) > kHeardLevel &&
                    (self.heard_.empty() ||
                     n - self.heard_.back() > 2 * kEventMicroseconds * self.rate_ / 1'000'000)) {
                    self.heard_.push_back(n);
                }
            }
            self.monitored_ += count;
            pa_stream_drop(stream);
        }
    }

    pa_threaded_mainloop* loop_;
    pa_context* context_;
    pa_stream* output_ = nullptr;
    pa_stream* monitor_ = nullptr;
    int64_t rate_ = 48000;
    int64_t written_ = 0;         // samples handed to the output
    std::vector<int64_t> beeps_;  // first sample of each
    int64_t monitored_ = 0;       // samples read from the monitor
    std::vector<int64_t> heard_;  // the monitor's sample of each onset
    // When the monitor's first sample played, as each reading tells it: single
    // readings scatter by milliseconds, their median does not.
    std::vector<int64_t> monitorOrigins_;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<double> moments;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        moments.push_back(std::strtod(argv[i], &end));
        if (*end != '\0' || moments.back() < 0 ||
            (moments.size() > 1 && moments.back() < moments[moments.size() - 2] + 0.5)) {
            die("Usage: flash-and-beep SECONDS... (rising, at least half a second apart)");
        }
    }
    // Ahead of everything else on the machine where that is allowed.
    const sched_param priority{sched_get_priority_min(SCHED_FIFO)};
    sched_setscheduler(0, SCHED_FIFO, &priority);
    Screen screen;
    Sound sound;
    std::puts("ready");
    std::fflush(stdout);
    const int64_t origin = nowMicroseconds();
    struct Event {
        double seconds;
        int64_t plays, flashed;
    };
    std::vector<Event> events;
    for (const double seconds : moments) {
        const int64_t due = origin + int64_t(seconds * 1e6);
        sleepUntil(due - kScheduleAheadMicroseconds);
        const int64_t sample = sound.scheduleBeep(due);
        sleepUntil(due - kRefineAheadMicroseconds);
        const int64_t plays = sound.playMoment(sample);
        awaitExactly(plays);
        const int64_t flashed = screen.paint(true);
        sleepUntil(plays + kEventMicroseconds);
        screen.paint(false);
        events.push_back({seconds, plays, flashed});
    }
    sleepUntil(nowMicroseconds() + kScheduleAheadMicroseconds);
    const std::vector<int64_t> heard = sound.heardOnsets();
    for (const Event& event : events) {
        std::printf("event %.3f flash %.2f heard ", event.seconds,
                    double(event.flashed - event.plays) / 1000);
        const auto near = std::find_if(heard.begin(), heard.end(), [&](int64_t onset) {
            return std::llabs(onset - event.plays) < kEventMicroseconds;
        });
        if (near != heard.end()) {
            std::printf("%.2f\n", double(*near - event.plays) / 1000);
        } else {
            std::printf("none\n");
        }
    }
    return 0;
}

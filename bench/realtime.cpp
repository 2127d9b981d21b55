// Real-time recordings of a full-HD display with the system sound, at 30 and 60
// frames per second, full size and half size, each set against the ffmpeg
// command-line tool recording the same display and sound at the same settings
// in the same run. Reported per run: frames per second sustained, frames lost,
// CPU used (in cores), and how far the sound track's end is from the picture's.
// A second case sets the same full-HD recording at 60 frames per second with
// and without the fdatasync that puts each fragment on disk.
//
// Needs an X server and a sound server with a null sink "sysout"
// (scripts/bench.sh starts both); the display is a RandR monitor the benchmark
// adds at the screen's top-left corner, kept busy by a child process that draws
// coloured rectangles all over it sixty times a second while a tone plays.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandOutput.h"
#include "ToneFile.h"
#include "platform/RecordingStream.h"
#include "platform/linux/media/realtime/FfmpegRecordingStreams.h"
#include "platform/linux/x11/X11ScreenCapture.h"
#include "platform/linux/x11/X11VideoCapture.h"

namespace {

namespace fs = std::filesystem;
using vx::fixtures::commandOutput;
using vx::platform::MovieFileType;
using vx::platform::StreamConfiguration;
using vx::platform::linux_::FfmpegRecordingStreams;
using vx::platform::linux_::X11ScreenCapture;
using vx::platform::linux_::X11VideoCapture;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Whether fdatasync reaches the disk, and the longest one so far.
std::atomic<bool> syncing{true};
std::atomic<int64_t> longestSyncMicroseconds{0};

}  // namespace

// Stands in for the C library's fdatasync throughout the benchmark, so that
// syncing can be left out and timed without a switch in the product.
extern "C" int fdatasync(int fd) noexcept {
    if (!syncing.load()) {
        return 0;
    }
    const auto started = std::chrono::steady_clock::now();
    const int result = int(::syscall(SYS_fdatasync, fd));
    const int64_t took = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    int64_t longest = longestSyncMicroseconds.load();
    while (took > longest && !longestSyncMicroseconds.compare_exchange_weak(longest, took)) {
    }
    return result;
}

namespace {

fs::path workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "vx-bench-rt-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    return folder;
}

double cpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double probeNumber(const fs::path& movie, const std::string& stream, const std::string& entry,
                   const std::string& extra = "") {
    const std::string text =
        commandOutput("ffprobe -v error " + extra + " -select_streams " + stream +
                      " -show_entries stream=" + entry + " -of csv=p=0 '" + movie.string() + "'");
    return text.empty() ? 0 : std::atof(text.c_str());
}

// What one recording left behind.
struct Outcome {
    double frames = 0;
    double fps = 0;
    double cpuCores = 0;
    double driftMs = 0;  // sound track end minus picture end
};

Outcome measure(const fs::path& movie, double cpu, double wall) {
    Outcome outcome;
    outcome.frames = probeNumber(movie, "v:0", "nb_read_packets", "-count_packets");
    const double video = probeNumber(movie, "v:0", "duration");
    const double audio = probeNumber(movie, "a:0", "duration");
    outcome.fps = video > 0 ? outcome.frames / video : 0;
    outcome.cpuCores = cpu / wall;
    outcome.driftMs = (audio - video) * 1000;
    return outcome;
}

pid_t spawn(const std::vector<std::string>& arguments) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void stopChild(pid_t pid) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

// Rectangles of random colours all over the display, sixty times a second, so
// that every frame differs as on a busy desktop.
[[noreturn]] void animate() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, screen->root, 0, nullptr);
    std::mt19937 random(7);
    for (;;) {
        for (int i = 0; i < 40; ++i) {
            const uint32_t colour = random() & 0xffffff;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{int16_t(random() % kWidth), int16_t(random() % kHeight),
                                    uint16_t(20 + random() % 300), uint16_t(20 + random() % 200)};
            xcb_poly_fill_rectangle(c, screen->root, gc, 1, &r);
        }
        xcb_flush(c);
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
}

uint32_t fullHdDisplay() {
    std::optional<uint32_t> found;
    X11ScreenCapture().shareableContent([&](auto listed) {
        if (!listed) {
            return;
        }
        for (const auto& display : listed->displays) {
            if (display.width == kWidth && display.height == kHeight) {
                found = display.displayID;
            }
        }
    });
    return found.value_or(0);
}

Outcome recordWithVentilux(int fps, int width, int height, int seconds, int run) {
    FfmpegRecordingStreams streams{X11VideoCapture::open};
    StreamConfiguration stream;
    stream.displayID = fullHdDisplay();
    stream.width = width;
    stream.height = height;
    stream.minimumFrameInterval = {1, fps};
    stream.capturesAudio = true;
    const fs::path movie = workFolder() / ("ventilux-" + std::to_string(run) + ".mov");
    auto made =
        streams.makeStream(stream, {std::nullopt, MovieFileType::quickTimeMovie, movie}, {});
    if (!made) {
        std::fprintf(stderr, "%s\n", made.error().description.c_str());
        return {};
    }
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const auto started = std::chrono::steady_clock::now();
    bool ok = false;
    (*made)->startCapture([&](auto error) { ok = !error; });
    if (!ok) {
        return {};
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    (*made)->stopCapture([](auto) {});
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return measure(movie, cpuSeconds(RUSAGE_SELF) - cpuBefore, wall);
}

Outcome recordWithFfmpeg(int fps, int width, int height, int seconds, int run) {
    const fs::path movie = workFolder() / ("ffmpeg-" + std::to_string(run) + ".mov");
    const char* display = std::getenv("DISPLAY");
    std::vector<std::string> arguments = {"ffmpeg",
                                          "-nostdin",
                                          "-v",
                                          "error",
                                          "-y",
                                          "-f",
                                          "x11grab",
                                          "-framerate",
                                          std::to_string(fps),
                                          "-video_size",
                                          std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                          "-i",
                                          std::string(display ? display : ":0") + "+0,0",
                                          "-f",
                                          "pulse",
                                          "-i",
                                          "sysout.monitor",
                                          "-t",
                                          std::to_string(seconds)};
    if (width != kWidth) {
        arguments.insert(arguments.end(),
                         {"-vf", "scale=" + std::to_string(width) + ":" + std::to_string(height)});
    }
    // Without passthrough ffmpeg repeats frames in place of those it missed,
    // which would hide its losses.
    arguments.insert(arguments.end(), {"-fps_mode", "passthrough", "-c:v", "libx264", "-preset",
                                       "ultrafast", "-tune", "zerolatency", "-pix_fmt", "yuv420p",
                                       "-c:a", "aac", "-b:a", "160k", movie.string()});
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    const auto started = std::chrono::steady_clock::now();
    ::waitpid(spawn(arguments), nullptr, 0);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return measure(movie, cpuSeconds(RUSAGE_CHILDREN) - cpuBefore, wall);
}

// Arguments: frames per second, size in percent of full HD, seconds.
void BM_RealtimeRecording(benchmark::State& state) {
    const int fps = int(state.range(0));
    const int width = kWidth * int(state.range(1)) / 100;
    const int height = kHeight * int(state.range(1)) / 100;
    const int seconds = int(state.range(2));
    static int runs = 0;
    for (auto _ : state) {
        const int run = ++runs;
        const Outcome ours = recordWithVentilux(fps, width, height, seconds, run);
        const Outcome theirs = recordWithFfmpeg(fps, width, height, seconds, run);
        state.SetIterationTime(seconds);
        const double expected = double(fps) * seconds;
        state.counters["fps"] = ours.fps;
        state.counters["lost"] = std::max(0.0, expected - ours.frames);
        state.counters["cores"] = ours.cpuCores;
        state.counters["drift_ms"] = ours.driftMs;
        state.counters["ffmpeg_fps"] = theirs.fps;
        state.counters["ffmpeg_lost"] = std::max(0.0, expected - theirs.frames);
        state.counters["ffmpeg_cores"] = theirs.cpuCores;
        state.counters["ffmpeg_drift_ms"] = theirs.driftMs;
        state.counters["fps_ratio"] = theirs.fps > 0 ? ours.fps / theirs.fps : 0;
        state.counters["cores_ratio"] = theirs.cpuCores > 0 ? ours.cpuCores / theirs.cpuCores : 0;
    }
}

// The full-HD recording at 60 frames per second with and without the sync of
// each fragment, back to back, each pair in the other order than the last, so
// that load from elsewhere on the machine falls on both alike.
void BM_FragmentSync(benchmark::State& state) {
    const int seconds = int(state.range(0));
    static int runs = 0;
    for (auto _ : state) {
        Outcome synced, unsynced;
        longestSyncMicroseconds = 0;
        const bool syncFirst = runs % 2 == 0;
        for (const bool sync : {syncFirst, !syncFirst}) {
            syncing = sync;
            (sync ? synced : unsynced) = recordWithVentilux(60, kWidth, kHeight, seconds, ++runs);
        }
        syncing = true;
        state.SetIterationTime(2.0 * seconds);
        state.counters["fps_synced"] = synced.fps;
        state.counters["fps_unsynced"] = unsynced.fps;
        state.counters["lost_synced"] = std::max(0.0, 60.0 * seconds - synced.frames);
        state.counters["lost_unsynced"] = std::max(0.0, 60.0 * seconds - unsynced.frames);
        state.counters["cores_synced"] = synced.cpuCores;
        state.counters["cores_unsynced"] = unsynced.cpuCores;
        state.counters["fps_ratio"] = unsynced.fps > 0 ? synced.fps / unsynced.fps : 0;
        state.counters["cores_ratio"] =
            unsynced.cpuCores > 0 ? synced.cpuCores / unsynced.cpuCores : 0;
        state.counters["longest_sync_ms"] = double(longestSyncMicroseconds.load()) / 1000;
    }
}

BENCHMARK(BM_FragmentSync)
    ->ArgNames({"seconds"})
    ->Args({20})
    ->Iterations(1)
    ->Repetitions(4)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(BM_RealtimeRecording)
    ->ArgNames({"fps", "percent", "seconds"})
    ->Args({30, 100, 15})
    ->Args({60, 100, 15})
    ->Args({30, 50, 15})
    ->Args({60, 50, 15})
    ->Args({30, 100, 60})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (std::system("xrandr --setmonitor bench-rt-fhd 1920/508x1080/286+0+0 none") != 0) {
        std::fprintf(stderr, "cannot add the full-HD display (is there an X server?)\n");
        return 1;
    }
    const fs::path tone = workFolder() / "tone.wav";
    // A tone played into the system sound for as long as the benchmark runs.
    vx::fixtures::writeTone(tone, 600, 12000);
    const pid_t player = spawn({"paplay", "-d", "sysout", tone.string()});
    const pid_t animator = ::fork();
    if (animator == 0) {
        animate();
    }
    benchmark::RunSpecifiedBenchmarks();
    stopChild(animator);
    stopChild(player);
    fs::remove_all(workFolder());
    benchmark::Shutdown();
    return 0;
}

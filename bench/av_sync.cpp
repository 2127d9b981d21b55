// How far apart sound and picture are in a real-time recording by the real
// program, at its start and after ten minutes, beside the ffmpeg command-line
// tool recording the same screen and sound at the same time. The program runs
// from its settings (60 frames per second, half size, the system sound) and is
// started and stopped with --start and --stop; flash-and-beep beeps and turns
// the screen white at the same instants, five times from 2 s on and five times
// from 600 s on (60 s with --quick), and each beep's onset and its flash's first
// white frame are found in each movie by the movie's own time stamps.
//
// Needs an X server, a session bus and a sound server with a null sink
// "sysout" (scripts/bench.sh starts them), VENTILUX_BINARY naming the program.
//
// bench-screens: 1920x1080
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "AvSync.h"
#include "GoalReport.h"

namespace {

namespace fs = std::filesystem;
using vx::fixtures::FlashAndBeep;
using vx::fixtures::RealtimeProgram;
using vx::fixtures::SyncOffset;

constexpr double kFramePeriodMs = 1000.0 / 60;
constexpr double kScale = 0.5;
double laterEvents = 600;  // seconds; --quick makes it 60

// The larger offset, in ms, of the measured events from `from` up to `to`
// seconds into the movie; none when every one of them was hidden by a drop.
std::optional<double> largestOffset(const std::vector<SyncOffset>& offsets, double from,
                                    double to) {
    std::optional<double> largest;
    for (const SyncOffset& offset : offsets) {
        if (offset.seconds >= from && offset.seconds < to && offset.offsetMs) {
            largest = std::max(largest.value_or(0), std::fabs(*offset.offsetMs));
        }
    }
    return largest;
}

std::string shown(std::optional<double> ms) {
    char text[32] = "no measure";
    if (ms) {
        std::snprintf(text, sizeof text, "%.1f ms", *ms);
    }
    return text;
}

// ffmpeg recording the X display and the system sound into `movie` until stopped.
pid_t startPeer(const fs::path& movie, int width, int height) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const std::string scale = "scale=" + std::to_string(int(width * kScale)) + ":" +
                                  std::to_string(int(height * kScale));
        ::execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "error", "-f", "x11grab", "-framerate", "60",
                 "-video_size", size.c_str(), "-i", std::getenv("DISPLAY"), "-f", "pulse", "-i",
                 "sysout.monitor", "-vf", scale.c_str(), "-c:v", "libx264", "-preset", "ultrafast",
                 "-c:a", "aac", movie.c_str(), nullptr);
        ::_exit(127);
    }
    return pid;
}

void report(const char* who, const fs::path& movie, const std::vector<SyncOffset>& offsets) {
    if (offsets.empty()) {
        std::printf("%s: %zu flashes and %zu beeps found in the movie\n", who,
                    vx::fixtures::whiteFlashes(movie).size(),
                    vx::fixtures::beepOnsets(movie).size());
        return;
    }
    std::printf("%s, sound before picture in ms:", who);
    for (const SyncOffset& offset : offsets) {
        if (offset.offsetMs) {
            std::printf(" %.1f@%.0fs", *offset.offsetMs, offset.seconds);
        } else {
            std::printf(" dropped@%.0fs", offset.seconds);
        }
    }
    std::printf("\n");
}

void BM_AvSync(benchmark::State& state) {
    const char* binary = std::getenv("VENTILUX_BINARY");
    const char* screen = std::getenv("BENCH_SCREEN");
    if (binary == nullptr || screen == nullptr) {
        state.SkipWithError("VENTILUX_BINARY or BENCH_SCREEN is not set");
        return;
    }
    int width = 1920, height = 1080;
    std::sscanf(screen, "%dx%d", &width, &height);
    for (auto _ : state) {
        vx::fixtures::TemporaryFolder folder;
        const fs::path peerMovie = folder.path() / "peer.mov";
        std::vector<FlashAndBeep::Event> events;
        std::optional<fs::path> movie;
        {
            RealtimeProgram program(binary, folder.path(),
                                    {.framesPerSecond = 60, .scale = kScale});
            if (!program.start()) {
                state.SkipWithError("the program did not start recording");
                return;
            }
            const pid_t peer = startPeer(peerMovie, width, height);
            std::vector<double> moments;
            for (const double from : {2.0, laterEvents}) {
                for (int i = 0; i < 5; ++i) {
                    moments.push_back(from + i);
                }
            }
            FlashAndBeep tool(moments);
            events = tool.ready() ? tool.finish() : std::vector<FlashAndBeep::Event>{};
            ::kill(peer, SIGINT);
            ::waitpid(peer, nullptr, 0);
            movie = program.stop();
        }
        if (events.size() != 10 || !movie) {
            state.SkipWithError("flash-and-beep or the recording failed");
            return;
        }
        const auto ours = vx::fixtures::syncOffsets(*movie, events);
        const auto peers = vx::fixtures::syncOffsets(peerMovie, events);
        report("Ventilux", *movie, ours);
        report("ffmpeg", peerMovie, peers);
        const double split = laterEvents - 30;  // movie seconds between the two sets
        const auto oursStart = largestOffset(ours, 0, split);
        const auto oursLater = largestOffset(ours, split, 1e9);
        const auto peerStart = largestOffset(peers, 0, split);
        const auto peerLater = largestOffset(peers, split, 1e9);
        state.counters["start_ms"] = oursStart.value_or(-1);
        state.counters["later_ms"] = oursLater.value_or(-1);
        state.counters["ffmpeg_start_ms"] = peerStart.value_or(-1);
        state.counters["ffmpeg_later_ms"] = peerLater.value_or(-1);
        state.counters["size_MB"] = double(fs::file_size(*movie)) / 1e6;
        state.counters["ffmpeg_size_MB"] =
            fs::exists(peerMovie) ? double(fs::file_size(peerMovie)) / 1e6 : 0;
        const bool met = oursStart && oursLater && *oursStart < kFramePeriodMs &&
                         *oursLater < kFramePeriodMs && ours.size() == events.size();
        vx::bench::reportGoal("Sound and picture within one 60 fps frame, at the start and after " +
                                  std::to_string(int(laterEvents / 60)) + " min",
                              "largest " + shown(oursStart) + " at the start, " + shown(oursLater) +
                                  " later (ffmpeg " + shown(peerStart) + ", " + shown(peerLater) +
                                  ")",
                              met);
        state.SetIterationTime(laterEvents + 10);
    }
}

BENCHMARK(BM_AvSync)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // --quick: the later events after one minute instead of ten.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            laterEvents = 60;
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The real program recording its whole screen in real time with the system
// sound, set against the ffmpeg command-line tool doing the same job (x11grab
// of the same screen at the same rate, the same sound server source, libx264
// with our preset, tune and key-frame interval, AAC at our bit rate, the same
// container), in alternating turns, on the busy desktop (at its own 30
// pictures a second, which leaves two cores room for both recorders) while a
// tone plays. Full HD records at 60 frames per second, 4K at 30.
//
// Each turn records for kWarmUp + kMeasured seconds; CPU (of the whole
// process, every thread) and wall time are taken over the measured part only,
// so neither start-up counts. Frames, frames per second and size come from the
// finished file. A second case holds the busy desktop still while both record
// it, and compares each movie with one lossless grab of that picture.
//
// Arguments after the benchmark library's own: --turns=N (default 3).
// bench-screens: 1920x1080 3840x2160
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CommandOutput.h"
#include "GoalReport.h"
#include "RunningApp.h"
#include "ToneFile.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vx::bench::Child;
using vx::bench::RunningApp;
using vx::fixtures::commandOutput;

constexpr auto kWarmUp = 3s;
constexpr auto kMeasured = 12s;
constexpr auto kStillRecording = 4s;
constexpr int kAacBitRate = 160'000;
constexpr int kKeyFrameSeconds = 2;

int turns = 3;

struct Screen : vx::bench::BenchScreen {
    int fps() const { return width > 1920 ? 30 : 60; }
};

Screen screen() {
    return {vx::bench::BenchScreen::named()};
}

std::string screenInput() {
    const char* display = std::getenv("DISPLAY");
    return std::string(display ? display : ":0") + "+0,0";
}

fs::path workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "vx-bench-rt-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    return folder;
}

const fs::path& movieFolder() {
    static const fs::path folder = workFolder() / "movies";
    return folder;
}

// CPU and wall time over the measured part of a recording by `pid`.
struct Load {
    double cpu = 0;
    double wall = 0;
};

Load measureLoad(pid_t pid) {
    std::this_thread::sleep_for(kWarmUp);
    const double cpuBefore = vx::bench::cpuSeconds(pid);
    const auto started = Clock::now();
    std::this_thread::sleep_for(kMeasured);
    return {vx::bench::cpuSeconds(pid) - cpuBefore,
            std::chrono::duration<double>(Clock::now() - started).count()};
}

double probe(const fs::path& movie, const std::string& stream, const std::string& entry,
             const std::string& extra = "") {
    const std::string text =
        commandOutput("ffprobe -v error " + extra + " -select_streams " + stream +
                      " -show_entries stream=" + entry + " -of csv=p=0 '" + movie.string() + "'");
    return text.empty() ? 0 : std::atof(text.c_str());
}

// One recording, by either program.
struct Turn {
    Load load;
    double frames = 0;
    double seconds = 0;  // of the picture track
    double megabytes = 0;
    double fps() const { return seconds > 0 ? frames / seconds : 0; }
    double cores() const { return load.wall > 0 ? load.cpu / load.wall : 0; }
    // Frames short of one per period over the picture's length.
    double droppedPercent(int rate) const {
        const double expected = seconds * rate;
        return expected > 0 ? std::max(0.0, 100 * (expected - frames) / expected) : 100;
    }
};

Turn readBack(const fs::path& movie, Load load) {
    Turn turn;
    turn.load = load;
    turn.frames = probe(movie, "v:0", "nb_read_packets", "-count_packets");
    turn.seconds = probe(movie, "v:0", "duration");
    std::error_code error;
    turn.megabytes = double(fs::file_size(movie, error)) / 1e6;
    return turn;
}

RunningApp* ventilux = nullptr;
pid_t busyDesktop = 0;

// The program records until `during` returns; its movie once saved, or none.
template <typename During>
std::optional<fs::path> ventiluxRecording(During during) {
    const int saved = ventilux->savedCount();
    if (!ventilux->control("--start") ||
        !vx::bench::within(10s, [] { return ventilux->recording(); })) {
        return std::nullopt;
    }
    during(ventilux->pid());
    if (!ventilux->control("--stop") ||
        !vx::bench::within(60s, [&] { return ventilux->savedCount() > saved; })) {
        return std::nullopt;
    }
    // The movie just saved is the one written last: a turn that gave up early
    // may have left one of its own behind.
    std::optional<fs::path> newest;
    fs::file_time_type newestTime{};
    for (const auto& entry : fs::directory_iterator(movieFolder())) {
        std::error_code gone;
        const fs::file_time_type written = entry.last_write_time(gone);
        if (!gone && entry.path().extension() == ".mov" && (!newest || written > newestTime)) {
            newest = entry.path();
            newestTime = written;
        }
    }
    return newest;
}

// ffmpeg records into `movie` until `during(pid)` returns.
template <typename During>
void ffmpegRecording(const fs::path& movie, During during) {
    const Screen s = screen();
    // Without passthrough ffmpeg repeats frames in place of those it missed,
    // which would hide its losses.
    Child ffmpeg({"ffmpeg",
                  "-nostdin",
                  "-v",
                  "error",
                  "-y",
                  "-f",
                  "x11grab",
                  "-framerate",
                  std::to_string(s.fps()),
                  "-video_size",
                  s.size(),
                  "-i",
                  screenInput(),
                  "-f",
                  "pulse",
                  "-i",
                  "sysout.monitor",
                  "-fps_mode",
                  "passthrough",
                  "-c:v",
                  "libx264",
                  "-preset",
                  "ultrafast",
                  "-tune",
                  "zerolatency",
                  "-g",
                  std::to_string(kKeyFrameSeconds * s.fps()),
                  "-pix_fmt",
                  "yuv420p",
                  "-c:a",
                  "aac",
                  "-b:a",
                  std::to_string(kAacBitRate),
                  movie.string()},
                 workFolder() / "ffmpeg.out");
    vx::bench::within(10s, [&] { return fs::exists(movie); });
    during(ffmpeg.pid());
    // Interrupted, ffmpeg finishes the file as it does for Ctrl-C.
    ffmpeg.stop(SIGINT);
}

Turn recordWithVentilux() {
    Load load;
    const auto movie = ventiluxRecording([&](pid_t pid) { load = measureLoad(pid); });
    return movie ? readBack(*movie, load) : Turn{};
}

Turn recordWithFfmpeg(int turn) {
    const fs::path movie = workFolder() / ("ffmpeg-" + std::to_string(turn) + ".mov");
    Load load;
    ffmpegRecording(movie, [&](pid_t pid) { load = measureLoad(pid); });
    return readBack(movie, load);
}

double sum(const std::vector<Turn>& all, double (*field)(const Turn&)) {
    double total = 0;
    for (const Turn& t : all) {
        total += field(t);
    }
    return total;
}

// Turns alternate which program goes first, so that load from elsewhere on the
// machine falls on both alike; the ratio is of the summed CPU seconds.
void BM_AgainstFfmpeg(benchmark::State& state) {
    const Screen s = screen();
    const int fps = s.fps();
    for (auto _ : state) {
        std::vector<Turn> ours, theirs;
        for (int turn = 0; turn < turns; ++turn) {
            if (turn % 2 == 0) {
                ours.push_back(recordWithVentilux());
                theirs.push_back(recordWithFfmpeg(turn));
            } else {
                theirs.push_back(recordWithFfmpeg(turn));
                ours.push_back(recordWithVentilux());
            }
            std::printf(
                "turn %d: ventilux %.2f fps, %.2f %% dropped, %.3f cores, %.1f MB | ffmpeg "
                "%.2f fps, %.2f %% dropped, %.3f cores, %.1f MB\n",
                turn + 1, ours.back().fps(), ours.back().droppedPercent(fps), ours.back().cores(),
                ours.back().megabytes, theirs.back().fps(), theirs.back().droppedPercent(fps),
                theirs.back().cores(), theirs.back().megabytes);
        }
        // The worst turn of ours for the picture, the sums for the CPU.
        const Turn worst = *std::min_element(ours.begin(), ours.end(),
                                             [](auto& a, auto& b) { return a.fps() < b.fps(); });
        auto cpu = [](const Turn& t) { return t.load.cpu; };
        auto wall = [](const Turn& t) { return t.load.wall; };
        auto rate = [](const Turn& t) { return t.fps(); };
        const double cores = sum(ours, cpu) / sum(ours, wall);
        const double peerCores = sum(theirs, cpu) / sum(theirs, wall);
        const double ratio = peerCores > 0 ? cores / peerCores : 0;
        // Per frame delivered, for when one program loses many more frames than the other.
        const double perFrame =
            sum(ours, rate) > 0 ? ratio * sum(theirs, rate) / sum(ours, rate) : 0;
        state.SetIterationTime(sum(ours, wall) + sum(theirs, wall));
        state.counters["fps"] = worst.fps();
        state.counters["dropped_pct"] = worst.droppedPercent(fps);
        state.counters["cores"] = cores;
        state.counters["ffmpeg_cores"] = peerCores;
        state.counters["cpu_ratio"] = ratio;
        state.counters["cpu_per_frame_ratio"] = perFrame;
        char figure[240];
        std::snprintf(figure, sizeof figure,
                      "%.2f fps, %.2f %% dropped, CPU %.2f× ffmpeg's (%.2f vs %.2f cores; "
                      "%.2f× per frame)",
                      worst.fps(), worst.droppedPercent(fps), ratio, cores, peerCores, perFrame);
        if (fps == 60) {
            vx::bench::reportGoal(
                "Real-time 1080p60: fps, dropped, CPU vs ffmpeg CLI", figure,
                worst.fps() >= 59.5 && worst.droppedPercent(fps) < 1 && ratio > 0 && ratio <= 0.75);
        } else {
            vx::bench::reportFigure("Real-time " + s.size() + " at " + std::to_string(fps) + " fps",
                                    figure);
        }
    }
}

struct Quality {
    double ssim = 0;
    double psnr = 0;
};

// Every frame of `movie` against the lossless `still`, in RGB, each movie
// turned back into RGB with the colours it was encoded in: ours are BT.709 as
// the file says; ffmpeg's file says nothing and was converted as BT.601.
Quality compare(const fs::path& movie, const fs::path& still, const std::string& matrix) {
    const std::string log =
        commandOutput("ffmpeg -nostdin -v info -i '" + movie.string() + "' -loop 1 -i '" +
                      still.string() + "' -lavfi '[0:v]scale=in_color_matrix=" + matrix +
                      ":in_range=tv,format=gbrp,split[a][c];[1:v]format=gbrp,split[b][d];"
                      "[a][b]ssim=shortest=1;[c][d]psnr=shortest=1' -f null - 2>&1");
    Quality quality;
    if (const size_t all = log.find("All:"); all != std::string::npos) {
        quality.ssim = std::atof(log.c_str() + all + 4);
    }
    if (const size_t average = log.find("average:"); average != std::string::npos) {
        quality.psnr = std::atof(log.c_str() + average + 8);
    }
    return quality;
}

// Picture quality like with like: the busy desktop is held still while both
// programs record it, so both movies show what one lossless grab shows.
void BM_PictureQuality(benchmark::State& state) {
    for (auto _ : state) {
        ::kill(busyDesktop, SIGSTOP);
        const fs::path still = workFolder() / "still.png";
        // Grabbing it also waits until the server has drawn what was sent before the stop.
        commandOutput("ffmpeg -nostdin -v error -y -f x11grab -video_size " + screen().size() +
                      " -i " + screenInput() + " -frames:v 1 '" + still.string() + "'");
        const auto ours =
            ventiluxRecording([](pid_t) { std::this_thread::sleep_for(kStillRecording); });
        const fs::path theirs = workFolder() / "ffmpeg-still.mov";
        ffmpegRecording(theirs, [](pid_t) { std::this_thread::sleep_for(kStillRecording); });
        ::kill(busyDesktop, SIGCONT);
        const Quality mine = ours ? compare(*ours, still, "bt709") : Quality{};
        const Quality peer = compare(theirs, still, "bt601");
        state.SetIterationTime(2 * std::chrono::duration<double>(kStillRecording).count());
        state.counters["ssim"] = mine.ssim;
        state.counters["psnr_dB"] = mine.psnr;
        state.counters["ffmpeg_ssim"] = peer.ssim;
        state.counters["ffmpeg_psnr_dB"] = peer.psnr;
        char figure[120];
        std::snprintf(figure, sizeof figure,
                      "SSIM %.4f, PSNR %.2f dB (ffmpeg: SSIM %.4f, PSNR %.2f dB)", mine.ssim,
                      mine.psnr, peer.ssim, peer.psnr);
        vx::bench::reportFigure(
            "Real-time picture quality, still desktop (" + screen().size() + ")", figure);
    }
}

// The still picture last: held still, the desktop afterwards catches up at full speed.
BENCHMARK(BM_AgainstFfmpeg)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PictureQuality)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::sscanf(argv[i], "--turns=%d", &turns);
    }
    const fs::path work = workFolder();
    fs::create_directories(movieFolder());
    // A tone played into the system sound for as long as the benchmark runs.
    vx::fixtures::writeTone(work / "tone.wav", 900, 12000);
    Child player({"paplay", "-d", "sysout", (work / "tone.wav").string()}, work / "paplay.out");
    vx::bench::BusyDesktop desktop(work);
    RunningApp app(work,
                   {"realtimeMode=bool:true", "realtimeFPS=int:" + std::to_string(screen().fps()),
                    "capturesSystemAudio=bool:true", "countdownSeconds=int:0",
                    "outputPath=string:" + movieFolder().string()});
    if (!desktop.ready() || !app.error().empty()) {
        std::fprintf(stderr, "cannot start: %s\n",
                     desktop.ready() ? app.error().c_str() : "the busy desktop drew nothing");
        return 1;
    }
    ventilux = &app;
    busyDesktop = desktop.pid();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ventilux = nullptr;
    fs::remove_all(work);
    return 0;
}

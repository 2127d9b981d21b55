// The time-lapse as a user runs it, against the ffmpeg command-line tool at
// preset medium with the same bit rate and key-frame interval, both recording
// the busy desktop (bench/tools/busy_desktop) on the whole screen:
//  - CPU per frame of the whole ventilux process (settings.ini: a frame every
//    0.25 s at full size, no countdown; `ventilux --start`, N frames, `--stop`)
//    and of the whole ffmpeg process (x11grab at 4 frames per second, a regular
//    MP4 at 30 fps), in alternating turns, from the first frame to the last;
//  - picture quality and size: the screen captured losslessly once, the same
//    frames given to the movie writer as the recorder drives it and to ffmpeg,
//    each movie decoded and compared with them (SSIM, PSNR); then the writer's
//    x264 options at every preset, the figures its choice of preset rests on;
//  - on a 1920x1080 screen, a minute at the default 2 s interval: the whole
//    process's CPU time over wall time.
// Under scripts/bench.sh (X server, session bus). --quick runs one turn each,
// two presets and half a minute at 2 s.
// bench-screens: 1920x1080 3840x2160
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandOutput.h"
#include "GoalReport.h"
#include "RunningApp.h"
#include "platform/linux/media/timelapse/FfmpegMovieWriters.h"
#include "platform/linux/media/timelapse/TimelapseVideoEncoder.h"

namespace {

using namespace std::chrono_literals;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using vx::fixtures::commandOutput;
using vx::platform::MediaTime;
using vx::platform::PixelBuffer;
using vx::platform::VideoTrackSettings;
using vx::platform::linux_::FfmpegMovieWriters;
using vx::platform::linux_::TimelapseVideoEncoder;

constexpr int kFps = 30;
constexpr int kKeyFrameInterval = 30;
// Enough for both encoders' bit rates to settle near the one asked for.
constexpr int kReferenceFrames = 80;
bool quick = false;

struct Screen : vx::bench::BenchScreen {
    int64_t pixels() const { return int64_t(width) * height; }
    // The recorder's: four bits a pixel each second, at least 2 Mbit/s.
    int64_t bitRate() const { return std::max<int64_t>(pixels() * 4, 2'000'000); }
    VideoTrackSettings track() const { return {width, height, bitRate(), kKeyFrameInterval, kFps}; }
    bool large() const { return pixels() > 1920 * 1080; }
    int framesPerTurn() const { return large() ? 24 : 40; }
    int turns() const { return quick ? 1 : large() ? 2 : 3; }
};

Screen screen() {
    return {vx::bench::BenchScreen::named()};
}

fs::path workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "vx-bench-tl-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    return folder;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A child process; its standard output comes back through `output` when asked.
struct Child {
    pid_t pid = -1;
    FILE* output = nullptr;
};

Child spawn(const std::vector<std::string>& arguments, bool readOutput = false,
            const fs::path& log = "/dev/null") {
    int pipeEnds[2] = {-1, -1};
    if (readOutput && ::pipe(pipeEnds) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(logFd, 2);
        ::dup2(readOutput ? pipeEnds[1] : logFd, 1);
        vx::bench::execute(arguments);
    }
    Child child{pid, nullptr};
    if (readOutput) {
        ::close(pipeEnds[1]);
        child.output = ::fdopen(pipeEnds[0], "r");
    }
    return child;
}

// Waits for the child; its exit status and the CPU seconds of all its threads.
std::pair<int, double> reap(const Child& child) {
    if (child.output != nullptr) {
        std::fclose(child.output);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child.pid, &status, 0, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// A command line: the words of `line`, separated by spaces, then `more`.
std::vector<std::string> words(const std::string& line, const std::vector<std::string>& more) {
    std::vector<std::string> all;
    std::istringstream split(line);
    for (std::string word; split >> word;) {
        all.push_back(word);
    }
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

int run(const std::vector<std::string>& arguments) {
    return reap(spawn(arguments)).first;
}

double cpuSecondsOfSelf() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The fragments of a growing fragmented movie: each of ours holds one frame.
class FragmentCounter {
  public:
    explicit FragmentCounter(const fs::path& movie) : fd_(::open(movie.c_str(), O_RDONLY)) {}
    ~FragmentCounter() { ::close(fd_); }
    FragmentCounter(const FragmentCounter&) = delete;
    FragmentCounter& operator=(const FragmentCounter&) = delete;

    // Reads only the boxes that were completed since the last call.
    int count() {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            return fragments_;
        }
        unsigned char header[16];
        while (::pread(fd_, header, sizeof header, off_t(offset_)) >= 8) {
            uint64_t size = 0;
            for (int i = 0; i < 4; ++i) {
                size = size << 8 | header[i];
            }
            if (size == 1) {
                size = 0;
                for (int i = 8; i < 16; ++i) {
                    size = size << 8 | header[i];
                }
            }
            if (size < 8 || offset_ + size > uint64_t(info.st_size)) {
                break;
            }
            fragments_ += std::memcmp(header + 4, "moof", 4) == 0 ? 1 : 0;
            offset_ += size;
        }
        return fragments_;
    }

  private:
    int fd_;
    uint64_t offset_ = 0;
    int fragments_ = 0;
};

// CPU and wall time per frame of one recording, from its first frame on.
struct Turn {
    double cpuMs = 0, wallMs = 0;
    int frames = 0;
    bool ok() const { return frames > 0; }
};

Turn turnOf(double cpuSeconds, double wallSeconds, int frames) {
    return {cpuSeconds * 1e3 / frames, wallSeconds * 1e3 / frames, frames};
}

// A busy desktop drawn on the whole screen while this lives.
class BusyDesktop {
  public:
    BusyDesktop() : child_(spawn({BUSY_DESKTOP}, true)) {
        char line[64] = {};
        ready_ = child_.output != nullptr && std::fgets(line, sizeof line, child_.output) &&
                 std::string(line).starts_with("ready");
    }
    ~BusyDesktop() {
        ::kill(child_.pid, SIGTERM);
        reap(child_);
    }
    bool ready() const { return ready_; }

  private:
    Child child_;
    bool ready_ = false;
};

// The real program, running in the background as from the desktop's menu and
// told what to do through its command line.
class Ventilux {
  public:
    Ventilux() : binary_(std::getenv("VENTILUX_BINARY") ? std::getenv("VENTILUX_BINARY") : "") {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        settings_ = fs::path(config ? config : std::string(std::getenv("HOME")) + "/.config") /
                    "ventilux" / "settings.ini";
        fs::create_directories(settings_.parent_path());
        configure(0.25, workFolder());
        child_ = spawn({binary_}, false, workFolder() / "ventilux.log");
        // --stop asks the running copy, which does nothing when idle.
        running_ = vx::bench::within(15s, [this] { return run({binary_, "--stop"}) == 0; });
    }
    ~Ventilux() {
        ::kill(child_.pid, SIGTERM);
        reap(child_);
    }
    bool running() const { return running_; }

    // Records `frames` frames after the first, `interval` seconds apart.
    Turn record(int frames, double interval, const fs::path& folder) {
        fs::create_directories(folder);
        configure(interval, folder);
        if (run({binary_, "--start"}) != 0) {
            return {};
        }
        Turn turn;
        fs::path movie;
        if (vx::bench::within(15s, [&] { return !(movie = movieIn(folder)).empty(); })) {
            FragmentCounter fragments(movie);
            const double deadline = 15 + frames * interval * 4;
            if (vx::bench::within(
                    std::chrono::duration<double>(deadline), [&] { return fragments.count() >= 1; },
                    5ms)) {
                const int first = fragments.count();
                const double cpu = vx::bench::cpuSeconds(child_.pid);
                const auto start = Clock::now();
                if (vx::bench::within(
                        std::chrono::duration<double>(deadline),
                        [&] { return fragments.count() >= first + frames; }, 5ms)) {
                    turn = turnOf(vx::bench::cpuSeconds(child_.pid) - cpu, secondsSince(start),
                                  frames);
                }
            }
        }
        run({binary_, "--stop"});
        vx::bench::within(30s, [this] { return !recording(); });
        return turn;
    }

  private:
    void configure(double interval, const fs::path& folder) const {
        const fs::path written = settings_.string() + ".new";
        std::ofstream(written) << "[settings]\ncaptureInterval=double:" << interval
                               << "\nresolutionScale=double:1\ncountdownSeconds=int:0\n"
                               << "outputPath=string:" << folder.string() << "\n";
        fs::rename(written, settings_);
    }

    static fs::path movieIn(const fs::path& folder) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".mp4") {
                return entry.path();
            }
        }
        return {};
    }

    bool recording() const {
        return commandOutput(
                   "gdbus call --session -d lab.quimbry.Ventilux -o "
                   "/lab/quimbry/Ventilux -m org.freedesktop.DBus.Properties.Get "
                   "lab.quimbry.Ventilux1 Recording 2>&1")
                   .find("<false>") == std::string::npos;
    }

    std::string binary_;
    fs::path settings_;
    Child child_;
    bool running_ = false;
};

std::string display() {
    const char* name = std::getenv("DISPLAY");
    return std::string(name ? name : ":0") + "+0,0";
}

std::vector<std::string> ffmpegH264(const Screen& s, const std::string& preset) {
    return words("-pix_fmt yuv420p -c:v libx264 -preset " + preset,
                 {"-b:v", std::to_string(s.bitRate()), "-g", std::to_string(kKeyFrameInterval)});
}

// ffmpeg recording the screen as a time-lapse: 4 pictures a second, each the
// next frame of a 30 fps movie.
Turn recordWithFfmpeg(const Screen& s, int frames, const fs::path& movie) {
    std::vector<std::string> arguments = words(
        "ffmpeg -nostdin -v error -y -progress pipe:1 -stats_period 0.02 -f x11grab "
        "-framerate 4",
        {"-video_size", s.size(), "-i", display(), "-vf",
         "setpts=N/" + std::to_string(kFps) + "/TB", "-r", std::to_string(kFps)});
    const std::vector<std::string> encoding = ffmpegH264(s, "medium");
    arguments.insert(arguments.end(), encoding.begin(), encoding.end());
    arguments.insert(arguments.end(), {"-frames:v", std::to_string(frames + 1), movie.string()});
    const Child child = spawn(arguments, true, workFolder() / "ffmpeg.log");
    // The first frame taken starts the clock; every frame's encoding, the
    // look-ahead's drained at the end included, counts.
    std::optional<double> cpu;
    std::optional<Clock::time_point> start;
    int first = 0;
    char line[256];
    while (std::fgets(line, sizeof line, child.output) != nullptr) {
        if (!cpu && std::strncmp(line, "frame=", 6) == 0 && (first = std::atoi(line + 6)) >= 1) {
            cpu = vx::bench::cpuSeconds(child.pid);
            start = Clock::now();
        }
    }
    const auto [status, cpuTotal] = reap(child);
    const int counted = frames + 1 - first;
    if (status != 0 || !cpu || counted < 1) {
        return {};
    }
    return turnOf(cpuTotal - *cpu, secondsSince(*start), counted);
}

struct Quality {
    double ssim = 0, psnr = 0;
    double kB = 0;
};

// The movie decoded and compared with the captured frames.
Quality qualityOf(const fs::path& movie, const fs::path& reference, const Screen& s) {
    const std::string report = commandOutput(
        "ffmpeg -nostdin -i '" + movie.string() + "' -f rawvideo -pix_fmt yuv420p -s " + s.size() +
        " -r " + std::to_string(kFps) + " -i '" + reference.string() +
        "' -lavfi '[0:v][1:v]ssim=shortest=1;[0:v][1:v]psnr=shortest=1' -f null - 2>&1");
    const auto after = [&](const std::string& tag, const std::string& key) {
        const size_t line = report.rfind(tag);
        const size_t at = line == std::string::npos ? line : report.find(key, line);
        return at == std::string::npos ? 0.0 : std::atof(report.c_str() + at + key.size());
    };
    std::error_code error;
    return {after("SSIM", "All:"), after("PSNR", "average:"),
            double(fs::file_size(movie, error)) / 1024.0};
}

// The frames of the screen, losslessly: as the screen gave them (BGRX), and in
// the encoders' colour space (BT.709, limited range, 4:2:0) to compare with.
struct Reference {
    fs::path bgrx, yuv;
    int frames = 0;
};

std::optional<Reference> captureReference(const Screen& s) {
    const Reference reference{workFolder() / "reference.bgrx", workFolder() / "reference.yuv",
                              kReferenceFrames};
    const int captured =
        run(words("ffmpeg -nostdin -v error -y -f x11grab -framerate 4",
                  {"-video_size", s.size(), "-i", display(),
                   // Once the desktop has drawn for a while, as in the turns, and
                   // each picture once: none repeated in place of a late one.
                   "-ss", "2", "-fps_mode", "passthrough", "-frames:v",
                   std::to_string(reference.frames), "-f", "rawvideo", reference.bgrx.string()}));
    const int converted =
        run(words("ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr0",
                  {"-s", s.size(), "-i", reference.bgrx.string(), "-vf",
                   "scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd+full_chroma_int+"
                   "full_chroma_inp",
                   "-pix_fmt", "yuv420p", "-f", "rawvideo", reference.yuv.string()}));
    if (captured != 0 || converted != 0) {
        return std::nullopt;
    }
    return reference;
}

// The captured frames through the movie writer, as the recorder hands them
// over: each as soon as the writer has room.
Turn writeWithVentilux(const Screen& s, const Reference& reference, const fs::path& movie) {
    FfmpegMovieWriters writers;
    auto writer = writers.create(movie);
    if (!writer || !(*writer)->addVideoTrack(s.track()) || !(*writer)->startWriting()) {
        return {};
    }
    std::ifstream frames(reference.bgrx, std::ios::binary);
    const int64_t stride = int64_t(s.width) * 4;
    const double cpu = cpuSecondsOfSelf();
    const auto start = Clock::now();
    for (int k = 0; k < reference.frames; ++k) {
        std::vector<uint8_t> pixels(size_t(stride * s.height));
        frames.read(reinterpret_cast<char*>(pixels.data()), std::streamsize(pixels.size()));
        auto frame = std::make_shared<PixelBuffer>(
            PixelBuffer{s.width, s.height, stride, std::move(pixels)});
        vx::bench::within(10s, [&] { return (*writer)->isReadyForMoreMediaData(); });
        (*writer)->append(std::move(frame), MediaTime{k, kFps});
    }
    std::promise<void> done;
    (*writer)->finishWriting([&] { done.set_value(); });
    done.get_future().wait();
    return turnOf(cpuSecondsOfSelf() - cpu, secondsSince(start), reference.frames);
}

// ffmpeg encoding the same frames; `options` follow the input.
Turn encodeWithFfmpeg(const Screen& s, const fs::path& input, const std::string& inputFormat,
                      int frames, const std::vector<std::string>& options, const fs::path& movie) {
    std::vector<std::string> arguments = words("ffmpeg -nostdin -v error -y -f rawvideo",
                                               {"-pix_fmt", inputFormat, "-s", s.size(), "-r",
                                                std::to_string(kFps), "-i", input.string()});
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(movie.string());
    const auto start = Clock::now();
    const auto [status, cpu] = reap(spawn(arguments, false, workFolder() / "ffmpeg.log"));
    return status == 0 ? turnOf(cpu, secondsSince(start), frames) : Turn{};
}

// What the goal lines are made of, gathered across the benchmarks.
struct Figures {
    Turn ours, theirs;  // end to end, all turns together
    Quality oursQuality, theirQuality;
    std::optional<double> defaultIntervalCorePercent;
};
Figures figures;

Turn together(const std::vector<Turn>& turns) {
    double cpu = 0, wall = 0;
    int frames = 0;
    for (const Turn& turn : turns) {
        cpu += turn.cpuMs * turn.frames;
        wall += turn.wallMs * turn.frames;
        frames += turn.frames;
    }
    return frames > 0 ? Turn{cpu / frames, wall / frames, frames} : Turn{};
}

void BM_CpuPerFrame(benchmark::State& state) {
    const Screen s = screen();
    BusyDesktop desktop;
    Ventilux ventilux;
    if (!desktop.ready() || !ventilux.running()) {
        state.SkipWithError("the busy desktop or ventilux did not start");
        return;
    }
    std::vector<Turn> ours, theirs;
    for (auto _ : state) {
        for (int k = 0; k < s.turns(); ++k) {
            const std::string run = std::to_string(k);
            ours.push_back(ventilux.record(s.framesPerTurn(), 0.25, workFolder() / ("e2e" + run)));
            theirs.push_back(recordWithFfmpeg(s, s.framesPerTurn(),
                                              workFolder() / ("ffmpeg-e2e" + run + ".mp4")));
            std::printf(
                "turn %d: ventilux %.1f ms CPU (%.0f ms wall) a frame, ffmpeg %.1f (%.0f)\n", k + 1,
                ours.back().cpuMs, ours.back().wallMs, theirs.back().cpuMs, theirs.back().wallMs);
            if (!ours.back().ok() || !theirs.back().ok()) {
                state.SkipWithError("a recording did not complete");
                return;
            }
        }
        state.SetIterationTime(1);
    }
    figures.ours = together(ours);
    figures.theirs = together(theirs);
    state.counters["cpu_ms"] = figures.ours.cpuMs;
    state.counters["wall_ms"] = figures.ours.wallMs;
    state.counters["ffmpeg_cpu_ms"] = figures.theirs.cpuMs;
    state.counters["ffmpeg_wall_ms"] = figures.theirs.wallMs;
    state.counters["cpu_ratio"] = figures.ours.cpuMs / figures.theirs.cpuMs;
}

void BM_Quality(benchmark::State& state) {
    const Screen s = screen();
    std::optional<Reference> reference;
    {
        BusyDesktop desktop;
        reference = desktop.ready() ? captureReference(s) : std::nullopt;
    }
    if (!reference) {
        state.SkipWithError("the screen could not be captured");
        return;
    }
    const auto row = [&](const std::string& what, const Turn& turn, const Quality& quality) {
        std::printf("  %-34s %7.1f %8.1f %8.4f %7.2f %9.0f\n", what.c_str(), turn.cpuMs,
                    turn.wallMs, quality.ssim, quality.psnr, quality.kB);
    };
    for (auto _ : state) {
        std::printf("%s, %d frames, %lld bit/s: CPU ms, wall ms a frame, SSIM, PSNR, kB\n",
                    s.size().c_str(), reference->frames, static_cast<long long>(s.bitRate()));
        const fs::path ourMovie = workFolder() / "ventilux.mp4";
        const Turn ours = writeWithVentilux(s, *reference, ourMovie);
        figures.oursQuality = qualityOf(ourMovie, reference->yuv, s);
        row("movie writer", ours, figures.oursQuality);
        std::vector<std::string> peer = ffmpegH264(s, "medium");
        peer.insert(peer.begin(), {"-vf", "scale=out_color_matrix=bt709:out_range=tv"});
        const fs::path theirMovie = workFolder() / "ffmpeg.mp4";
        const Turn theirs =
            encodeWithFfmpeg(s, reference->bgrx, "bgr0", reference->frames, peer, theirMovie);
        figures.theirQuality = qualityOf(theirMovie, reference->yuv, s);
        row("ffmpeg -preset medium", theirs, figures.theirQuality);
        // The writer's options at each preset, on frames already converted, so
        // that the CPU time is the encoder's alone.
        const std::vector<std::string> presets =
            quick ? std::vector<std::string>{"superfast", "veryfast"}
                  : std::vector<std::string>{"superfast", "veryfast", "faster", "fast", "medium"};
        for (const std::string& preset : presets) {
            std::vector<std::string> options = ffmpegH264(s, preset);
            options.insert(options.end(),
                           {"-tune", "zerolatency", "-threads",
                            std::to_string(TimelapseVideoEncoder::threadsFor(s.track())),
                            "-x264-params", TimelapseVideoEncoder::optionsFor(s.track())});
            const fs::path movie = workFolder() / ("preset-" + preset + ".mp4");
            const Turn encoded =
                encodeWithFfmpeg(s, reference->yuv, "yuv420p", reference->frames, options, movie);
            row("writer's options, preset " + preset, encoded, qualityOf(movie, reference->yuv, s));
        }
        state.SetIterationTime(1);
        state.counters["ssim"] = figures.oursQuality.ssim;
        state.counters["ffmpeg_ssim"] = figures.theirQuality.ssim;
        state.counters["kB"] = figures.oursQuality.kB;
        state.counters["ffmpeg_kB"] = figures.theirQuality.kB;
        state.counters["writer_wall_ms"] = ours.wallMs;
    }
}

void BM_DefaultInterval(benchmark::State& state) {
    BusyDesktop desktop;
    Ventilux ventilux;
    if (!desktop.ready() || !ventilux.running()) {
        state.SkipWithError("the busy desktop or ventilux did not start");
        return;
    }
    const int frames = quick ? 15 : 30;
    for (auto _ : state) {
        const Turn turn = ventilux.record(frames, 2.0, workFolder() / "default-interval");
        if (!turn.ok()) {
            state.SkipWithError("the recording did not complete");
            return;
        }
        figures.defaultIntervalCorePercent = turn.cpuMs / turn.wallMs * 100;
        state.SetIterationTime(turn.wallMs * frames / 1e3);
        state.counters["core_percent"] = *figures.defaultIntervalCorePercent;
        state.counters["cpu_ms"] = turn.cpuMs;
    }
}

BENCHMARK(BM_CpuPerFrame)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Quality)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void reportGoals() {
    const Screen s = screen();
    if (figures.ours.ok() && figures.theirs.ok() && figures.oursQuality.ssim > 0) {
        const double ratio = figures.ours.cpuMs / figures.theirs.cpuMs;
        char figure[160];
        std::snprintf(figure, sizeof figure,
                      "%.1f / %.1f ms = %.2fx, SSIM %.4f vs %.4f, %.0f vs %.0f kB",
                      figures.ours.cpuMs, figures.theirs.cpuMs, ratio, figures.oursQuality.ssim,
                      figures.theirQuality.ssim, figures.oursQuality.kB, figures.theirQuality.kB);
        vx::bench::reportGoal(
            "Time-lapse " + s.size() +
                ": CPU per frame <= 0.6x ffmpeg CLI, SSIM within 0.002, file no larger",
            figure,
            ratio <= 0.6 && figures.oursQuality.ssim >= figures.theirQuality.ssim - 0.002 &&
                figures.oursQuality.kB <= figures.theirQuality.kB);
    }
    if (figures.defaultIntervalCorePercent) {
        char figure[64];
        std::snprintf(figure, sizeof figure, "%.2f %% of a core",
                      *figures.defaultIntervalCorePercent);
        vx::bench::reportGoal("Time-lapse 1080p at 2 s: under 1.5 % of a core", figure,
                              *figures.defaultIntervalCorePercent < 1.5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto end = std::remove_if(argv + 1, argv + argc, [](const char* argument) {
        return std::strcmp(argument, "--quick") == 0;
    });
    quick = end != argv + argc;
    argc = int(end - argv);
    benchmark::Initialize(&argc, argv);
    if (screen().pixels() == 1920 * 1080) {
        benchmark::RegisterBenchmark("BM_DefaultInterval", BM_DefaultInterval)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    reportGoals();
    fs::remove_all(workFolder());
    benchmark::Shutdown();
    return 0;
}

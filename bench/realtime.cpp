// The real program recording its whole screen in real time with the system
// sound, set against the ffmpeg command-line tool doing the same job (x11grab
// of the same screen at the same rate, the same sound server source, libx264
// with our preset, tune and key-frame interval, AAC at our bit rate, the same
// container), in alternating turns on a screen kept busy by coloured
// rectangles drawn all over it sixty times a second while a tone plays.
// Full HD runs at 60 frames per second, 4K at 30.
//
// Each turn records for kWarmUp + kMeasured seconds; CPU (of the whole
// process, every thread) and wall time are taken over the measured part only,
// so neither start-up counts. Frames, frames per second and size come from the
// finished file. A second case makes ten short recordings in the same running
// program and reads its resident memory after each.
//
// Needs the desktop scripts/bench.sh starts (X screen, session bus, sound
// server with the null sink "sysout"), BENCH_SCREEN and VENTILUX_BINARY.
// Arguments after the benchmark library's own: --turns=N (default 3).
// bench-screens: 1920x1080 3840x2160
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandOutput.h"
#include "GoalReport.h"
#include "ToneFile.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vx::fixtures::commandOutput;

constexpr auto kWarmUp = 3s;
constexpr auto kMeasured = 12s;
constexpr int kAacBitRate = 160'000;
constexpr int kKeyFrameSeconds = 2;
constexpr int kMemoryRecordings = 10;
constexpr auto kMemoryRecordingLength = 3s;

int turns = 3;

struct Screen {
    int width = 1920;
    int height = 1080;
    int fps() const { return width > 1920 ? 30 : 60; }
    std::string size() const { return std::to_string(width) + "x" + std::to_string(height); }
};

Screen screen() {
    Screen s;
    if (const char* named = std::getenv("BENCH_SCREEN")) {
        std::sscanf(named, "%dx%d", &s.width, &s.height);
    }
    return s;
}

fs::path workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "vx-bench-rt-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    return folder;
}

pid_t spawn(const std::vector<std::string>& arguments, const fs::path& errors = "/dev/null") {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(errors.c_str(), "w", stderr);
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

int run(const std::vector<std::string>& arguments) {
    int status = 0;
    ::waitpid(spawn(arguments), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void stopChild(pid_t pid, int signal = SIGTERM) {
    ::kill(pid, signal);
    ::waitpid(pid, nullptr, 0);
}

// User plus system time of every thread the process has had, in seconds.
double processCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3, utime 14 and stime 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index >= 14) {
            ticks += std::stod(field);
        }
    }
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024;
        }
    }
    return 0;
}

template <typename Condition>
bool within(std::chrono::seconds limit, Condition condition) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// CPU and wall time over the measured part of a recording by `pid`.
struct Load {
    double cpu = 0;
    double wall = 0;
};

Load measureLoad(pid_t pid) {
    std::this_thread::sleep_for(kWarmUp);
    const double cpuBefore = processCpuSeconds(pid);
    const auto started = Clock::now();
    std::this_thread::sleep_for(kMeasured);
    return {processCpuSeconds(pid) - cpuBefore,
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

// The running program, driven as a user's script would: --start and --stop.
class Ventilux {
  public:
    Ventilux() {
        const char* binary = std::getenv("VENTILUX_BINARY");
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (binary == nullptr || config == nullptr) {
            std::fprintf(stderr, "VENTILUX_BINARY and XDG_CONFIG_HOME must be set\n");
            std::exit(1);
        }
        binary_ = binary;
        fs::create_directories(movies_);
        fs::create_directories(fs::path(config) / "ventilux");
        std::ofstream(fs::path(config) / "ventilux" / "settings.ini")
            << "[settings]\nrealtimeMode=bool:true\nrealtimeFPS=int:" << screen().fps()
            << "\ncapturesSystemAudio=bool:true\ncountdownSeconds=int:0\noutputPath=string:"
            << movies_.string() << "\n";
        pid_ = spawn({binary_}, workFolder() / "ventilux.err");
        if (!within(15s, [this] { return recording().has_value(); })) {
            std::fprintf(stderr, "ventilux did not come up on the session bus\n");
            std::exit(1);
        }
    }
    ~Ventilux() { stopChild(pid_); }

    pid_t pid() const { return pid_; }

    // Records until `during` returns; the finished movie, or none.
    template <typename During>
    std::optional<fs::path> record(During during) {
        if (run({binary_, "--start"}) != 0 ||
            !within(10s, [this] { return recording() == true; })) {
            return std::nullopt;
        }
        during();
        run({binary_, "--stop"});
        std::optional<fs::path> movie;
        within(30s, [&] {
            movie = newMovie();
            return movie && finished(*movie);
        });
        if (movie) {
            seen_.insert(*movie);
        }
        return movie;
    }

  private:
    std::optional<bool> recording() const {
        const std::string answer = commandOutput(
            "gdbus call --session -d lab.quimbry.Ventilux -o /lab/quimbry/Ventilux -m "
            "org.freedesktop.DBus.Properties.Get lab.quimbry.Ventilux1 Recording 2>/dev/null");
        if (answer.find("true") != std::string::npos) {
            return true;
        }
        if (answer.find("false") != std::string::npos) {
            return false;
        }
        return std::nullopt;
    }
    std::optional<fs::path> newMovie() const {
        for (const auto& entry : fs::directory_iterator(movies_)) {
            if (entry.path().extension() == ".mov" && !seen_.contains(entry.path())) {
                return entry.path();
            }
        }
        return std::nullopt;
    }
    // The writer holds a lock on the movie until it is complete.
    static bool finished(const fs::path& movie) {
        const int fd = ::open(movie.c_str(), O_RDONLY | O_CLOEXEC);
        const bool free = fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        return free;
    }

    std::string binary_;
    fs::path movies_ = workFolder() / "movies";
    std::set<fs::path> seen_;
    pid_t pid_ = 0;
};

Ventilux* ventilux = nullptr;

Turn recordWithVentilux() {
    Load load;
    const auto movie = ventilux->record([&] { load = measureLoad(ventilux->pid()); });
    return movie ? readBack(*movie, load) : Turn{};
}

std::string screenInput() {
    const char* display = std::getenv("DISPLAY");
    return std::string(display ? display : ":0") + "+0,0";
}

// ffmpeg records into `movie` until `during(pid)` returns.
template <typename During>
void ffmpegRecording(const fs::path& movie, During during) {
    const Screen s = screen();
    // Without passthrough ffmpeg repeats frames in place of those it missed,
    // which would hide its losses.
    const pid_t pid = spawn({"ffmpeg",
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
                             movie.string()});
    within(10s, [&] { return fs::exists(movie); });
    during(pid);
    // Interrupted, ffmpeg finishes the file as it does for Ctrl-C.
    stopChild(pid, SIGINT);
}

Turn recordWithFfmpeg(int turn) {
    const fs::path movie = workFolder() / ("ffmpeg-" + std::to_string(turn) + ".mov");
    Load load;
    ffmpegRecording(movie, [&](pid_t pid) { load = measureLoad(pid); });
    return readBack(movie, load);
}

void setCounters(benchmark::State& state, const std::string& prefix, const Turn& turn, int fps) {
    state.counters[prefix + "fps"] = turn.fps();
    state.counters[prefix + "dropped_pct"] = turn.droppedPercent(fps);
    state.counters[prefix + "cores"] = turn.cores();
    state.counters[prefix + "MB"] = turn.megabytes;
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
        auto sum = [](const std::vector<Turn>& all, auto field) {
            double total = 0;
            for (const Turn& t : all) {
                total += field(t);
            }
            return total;
        };
        Turn worst = *std::min_element(ours.begin(), ours.end(),
                                       [](auto& a, auto& b) { return a.fps() < b.fps(); });
        Turn total, peer;
        total.load = {sum(ours, [](auto& t) { return t.load.cpu; }),
                      sum(ours, [](auto& t) { return t.load.wall; })};
        peer.load = {sum(theirs, [](auto& t) { return t.load.cpu; }),
                     sum(theirs, [](auto& t) { return t.load.wall; })};
        const double ratio = peer.cores() > 0 ? total.cores() / peer.cores() : 0;
        state.SetIterationTime(total.load.wall + peer.load.wall);
        setCounters(state, "", worst, fps);
        state.counters["cores"] = total.cores();
        state.counters["ffmpeg_cores"] = peer.cores();
        state.counters["cpu_ratio"] = ratio;
        // Per frame delivered, for when one program loses many more frames than the other.
        const double ourFps = sum(ours, [](auto& t) { return t.fps(); });
        const double peerFps = sum(theirs, [](auto& t) { return t.fps(); });
        const double perFrame = ourFps > 0 ? ratio * peerFps / ourFps : 0;
        state.counters["cpu_per_frame_ratio"] = perFrame;
        char figure[240];
        std::snprintf(figure, sizeof figure,
                      "%.2f fps, %.2f %% dropped, CPU %.2f× ffmpeg's (%.2f vs %.2f cores; "
                      "%.2f× per frame)",
                      worst.fps(), worst.droppedPercent(fps), ratio, total.cores(), peer.cores(),
                      perFrame);
        if (fps == 60) {
            vx::bench::reportGoal(
                "Real-time 1080p60: fps, dropped, CPU vs ffmpeg CLI", figure,
                worst.fps() >= 59.5 && worst.droppedPercent(fps) < 1 && ratio > 0 && ratio <= 0.75);
        } else {
            std::printf("REPORT\tReal-time %s at %d fps\t%s\n", s.size().c_str(), fps, figure);
        }
    }
}

// Resident memory after each of ten short recordings in one running program.
void BM_MemoryAcrossRecordings(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<double> resident;
        for (int i = 0; i < kMemoryRecordings; ++i) {
            ventilux->record([] { std::this_thread::sleep_for(kMemoryRecordingLength); });
            // The movie is complete a moment before the recording's last threads end.
            std::this_thread::sleep_for(1s);
            resident.push_back(residentMiB(ventilux->pid()));
            std::printf("after recording %d: %.1f MiB resident\n", i + 1, resident.back());
        }
        const double highest = *std::max_element(resident.begin(), resident.end());
        state.SetIterationTime(1);
        state.counters["first_MiB"] = resident.front();
        state.counters["last_MiB"] = resident.back();
        state.counters["highest_MiB"] = highest;
        char figure[120];
        std::snprintf(figure, sizeof figure, "%.1f MiB after the first, %.1f at most, %.1f last",
                      resident.front(), highest, resident.back());
        vx::bench::reportGoal("Real-time memory flat over ten recordings (" + screen().size() + ")",
                              figure, highest <= resident.front() * 1.1);
    }
}

pid_t animator = 0;

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

// Picture quality like with like: the busy screen is held still while both
// programs record it, so both movies show what one lossless grab shows.
void BM_PictureQuality(benchmark::State& state) {
    for (auto _ : state) {
        ::kill(animator, SIGSTOP);
        const fs::path still = workFolder() / "still.png";
        // Grabbing it also waits until the server has drawn what the animator sent.
        run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "x11grab", "-video_size",
             screen().size(), "-i", screenInput(), "-frames:v", "1", still.string()});
        const auto ours = ventilux->record([] { std::this_thread::sleep_for(4s); });
        const fs::path theirs = workFolder() / "ffmpeg-still.mov";
        ffmpegRecording(theirs, [](pid_t) { std::this_thread::sleep_for(4s); });
        ::kill(animator, SIGCONT);
        const Quality mine = ours ? compare(*ours, still, "bt709") : Quality{};
        const Quality peer = compare(theirs, still, "bt601");
        state.SetIterationTime(8);
        state.counters["ssim"] = mine.ssim;
        state.counters["psnr_dB"] = mine.psnr;
        state.counters["ffmpeg_ssim"] = peer.ssim;
        state.counters["ffmpeg_psnr_dB"] = peer.psnr;
        std::printf(
            "REPORT\tPicture quality of a still busy %s screen\tSSIM %.4f, PSNR %.2f dB "
            "(ffmpeg: SSIM %.4f, PSNR %.2f dB)\n",
            screen().size().c_str(), mine.ssim, mine.psnr, peer.ssim, peer.psnr);
    }
}

BENCHMARK(BM_PictureQuality)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_MemoryAcrossRecordings)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_AgainstFfmpeg)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Rectangles of random colours all over the screen, sixty times a second, so
// that every frame differs as on a busy desktop.
[[noreturn]] void animate() {
    const Screen s = screen();
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, root->root, 0, nullptr);
    std::mt19937 random(7);
    for (;;) {
        for (int i = 0; i < 40; ++i) {
            const uint32_t colour = random() & 0xffffff;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{int16_t(random() % s.width), int16_t(random() % s.height),
                                    uint16_t(20 + random() % (s.width / 6)),
                                    uint16_t(20 + random() % (s.height / 5))};
            xcb_poly_fill_rectangle(c, root->root, gc, 1, &r);
        }
        xcb_flush(c);
        std::this_thread::sleep_for(16ms);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::sscanf(argv[i], "--turns=%d", &turns);
    }
    const fs::path tone = workFolder() / "tone.wav";
    // A tone played into the system sound for as long as the benchmark runs.
    vx::fixtures::writeTone(tone, 900, 12000);
    const pid_t player = spawn({"paplay", "-d", "sysout", tone.string()});
    animator = ::fork();
    if (animator == 0) {
        animate();
    }
    {
        Ventilux program;
        ventilux = &program;
        benchmark::RunSpecifiedBenchmarks();
        ventilux = nullptr;
    }
    stopChild(animator);
    stopChild(player);
    fs::remove_all(workFolder());
    benchmark::Shutdown();
    return 0;
}

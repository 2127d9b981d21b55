// What one time-lapse frame costs, stage by stage (capture, convert, encode,
// write), at 1920x1080 and 3840x2160, and the whole writer's CPU time per frame
// against the ffmpeg command-line tool encoding the same frames with the same
// H.264 settings, measured in the same run. Then the writer's resident memory
// after 100 and after 2,000 frames, which must stay flat.
// Capture is measured only with an X server (scripts/bench.sh starts one).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/timelapse/FfmpegMovieWriters.h"
#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"
#include "platform/linux/media/timelapse/TimelapseMuxer.h"
#include "platform/linux/media/timelapse/TimelapseVideoEncoder.h"
#include "platform/linux/x11/X11ScreenCapture.h"

namespace {

namespace fs = std::filesystem;
using vx::platform::MediaTime;
using vx::platform::MovieWriter;
using vx::platform::PixelBuffer;
using vx::platform::VideoTrackSettings;
using vx::platform::linux_::FfmpegMovieWriters;
using vx::platform::linux_::LockedMovieFile;
using vx::platform::linux_::TimelapseFrameConverter;
using vx::platform::linux_::TimelapseMuxer;
using vx::platform::linux_::TimelapseVideoEncoder;
using vx::platform::linux_::X11ScreenCapture;

constexpr int kFps = 30;
constexpr int kDistinctFrames = 8;
constexpr int kFramesPerRun = 40;

VideoTrackSettings track(int64_t width, int64_t height) {
    return {width, height, std::max<int64_t>(width * height * 4, 2'000'000), 30, kFps};
}

double seconds(const rusage& usage) {
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of the whole process (encoder threads included) per frame, from
// construction to record(): the machine may be shared, so wall time alone
// would mislead.
class ProcessCpu {
  public:
    ProcessCpu() : start_(now()) {}
    void record(benchmark::State& state, int64_t frames) const {
        state.counters["cpu_ms"] = (now() - start_) * 1e3 / double(std::max<int64_t>(frames, 1));
    }

  private:
    static double now() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return seconds(usage);
    }
    double start_;
};

// A desktop as a time-lapse sees it: lines of small high-contrast "text" on
// light windows over a gradient, with one window moving and one paragraph
// changing from frame to frame.
std::vector<std::shared_ptr<const PixelBuffer>> desktopFrames(int64_t width, int64_t height) {
    std::mt19937 random(42);
    PixelBuffer base{width, height, width * 4, std::vector<uint8_t>(size_t(width * height * 4))};
    const auto paint = [](PixelBuffer& image, int64_t x, int64_t y, uint8_t b, uint8_t g,
                          uint8_t r) {
        uint8_t* pixel = image.bytes.data() + y * image.stride + x * 4;
        pixel[0] = b, pixel[1] = g, pixel[2] = r, pixel[3] = 255;
    };
    for (int64_t y = 0; y < height; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            paint(base, x, y, uint8_t(120 + 100 * y / height), uint8_t(60 + 80 * x / width), 40);
        }
    }
    const auto text = [&](PixelBuffer& image, int64_t left, int64_t top, int64_t w, int64_t h) {
        for (int64_t y = top; y < top + h && y < height; ++y) {
            for (int64_t x = left; x < left + w && x < width; ++x) {
                const bool ink = (y - top) % 18 < 11 && random() % 3 == 0;
                const uint8_t v = ink ? 30 : 245;
                paint(image, x, y, v, v, v);
            }
        }
    };
    text(base, width / 20, height / 10, width / 2, height * 7 / 10);
    std::vector<std::shared_ptr<const PixelBuffer>> frames;
    for (int k = 0; k < kDistinctFrames; ++k) {
        auto frame = std::make_shared<PixelBuffer>(base);
        text(*frame, width / 2 + k * width / 80, height / 4 + k * height / 60, width / 3,
             height / 3);
        text(*frame, width / 20, height * 6 / 10, width / 2, height / 20);
        frames.push_back(frame);
    }
    return frames;
}

class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "vx-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~BenchFolder() { fs::remove_all(path_); }
    fs::path file(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Arguments of the stage benchmarks: frame width, frame height.

void BM_Capture(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no DISPLAY: run this under scripts/bench.sh");
        return;
    }
    X11ScreenCapture service;
    const vx::platform::ScreenshotRequest request{service.mainDisplayID(), state.range(0),
                                                  state.range(1), true, true};
    const ProcessCpu cpu;
    for (auto _ : state) {
        bool taken = false;
        service.captureScreenshot(request, [&](auto shot) { taken = shot.has_value(); });
        if (!taken) {
            state.SkipWithError("the screenshot failed");
            return;
        }
    }
    cpu.record(state, state.iterations());
}

void BM_Convert(benchmark::State& state) {
    const auto frames = desktopFrames(state.range(0), state.range(1));
    auto converter = TimelapseFrameConverter::open(int(state.range(0)), int(state.range(1)));
    int k = 0;
    const ProcessCpu cpu;
    for (auto _ : state) {
        benchmark::DoNotOptimize((*converter)->convert(*frames[k++ % kDistinctFrames]));
    }
    cpu.record(state, k);
}

// Pictures as the encoder takes them, one converter each so none is reused.
std::vector<std::unique_ptr<TimelapseFrameConverter>> convertedFrames(
    int64_t width, int64_t height, std::vector<AVFrame*>& pictures) {
    std::vector<std::unique_ptr<TimelapseFrameConverter>> owners;
    for (const auto& frame : desktopFrames(width, height)) {
        owners.push_back(std::move(*TimelapseFrameConverter::open(int(width), int(height))));
        pictures.push_back(*owners.back()->convert(*frame));
    }
    return owners;
}

void BM_Encode(benchmark::State& state) {
    std::vector<AVFrame*> pictures;
    const auto owners = convertedFrames(state.range(0), state.range(1), pictures);
    auto encoder = TimelapseVideoEncoder::open(track(state.range(0), state.range(1)));
    int64_t bytes = 0, pts = 0;
    const ProcessCpu cpu;
    for (auto _ : state) {
        AVFrame* picture = pictures[pts % kDistinctFrames];
        picture->pts = pts++;
        (void)(*encoder)->encode(picture,
                                 [&](AVPacket& packet) -> std::expected<void, vx::platform::Error> {
                                     bytes += packet.size;
                                     return {};
                                 });
    }
    cpu.record(state, pts);
    state.counters["kB_per_frame"] = double(bytes) / 1024.0 / double(pts);
}

void BM_Write(benchmark::State& state) {
    BenchFolder folder;
    std::vector<AVFrame*> pictures;
    const auto owners = convertedFrames(state.range(0), state.range(1), pictures);
    auto encoder = TimelapseVideoEncoder::open(track(state.range(0), state.range(1)));
    std::vector<AVPacket*> packets;
    for (int k = 0; k < kFramesPerRun; ++k) {
        pictures[k % kDistinctFrames]->pts = k;
        (void)(*encoder)->encode(pictures[k % kDistinctFrames],
                                 [&](AVPacket& packet) -> std::expected<void, vx::platform::Error> {
                                     packets.push_back(av_packet_clone(&packet));
                                     return {};
                                 });
    }
    auto file = LockedMovieFile::createExclusive(folder.file("Ventilux-write.mp4"));
    auto muxer = TimelapseMuxer::open(*file, (*encoder)->context());
    size_t k = 0;
    const ProcessCpu cpu;
    for (auto _ : state) {
        AVPacket* packet = packets[k++ % packets.size()];
        packet->pts = packet->dts = int64_t(k);
        if (!(*muxer)->write(*packet)) {
            state.SkipWithError("writing failed");
            break;
        }
    }
    cpu.record(state, int64_t(k));
    for (AVPacket* packet : packets) {
        av_packet_free(&packet);
    }
}

void waitUntilReady(const MovieWriter& writer) {
    while (!writer.isReadyForMoreMediaData()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// The writer as the recorder drives it, as fast as it takes frames: with its
// hand full, each frame waits for the one before it, so the time per frame is
// the encoder thread's convert + encode + write.
void BM_WholeWriter(benchmark::State& state) {
    BenchFolder folder;
    const auto frames = desktopFrames(state.range(0), state.range(1));
    FfmpegMovieWriters writers;
    auto writer = std::move(*writers.create(folder.file("Ventilux-whole.mp4")));
    writer->addVideoTrack(track(state.range(0), state.range(1)));
    writer->startWriting();
    int64_t k = 0;
    const ProcessCpu cpu;
    for (auto _ : state) {
        waitUntilReady(*writer);
        writer->append(frames[k % kDistinctFrames], MediaTime{k, kFps});
        ++k;
    }
    std::promise<void> done;
    writer->finishWriting([&] { done.set_value(); });
    done.get_future().wait();
    cpu.record(state, k);
}

// The same frames piped into the ffmpeg tool with the writer's H.264 settings.
void BM_FfmpegCli(benchmark::State& state) {
    BenchFolder folder;
    const int64_t width = state.range(0), height = state.range(1);
    const auto frames = desktopFrames(width, height);
    const std::string command =
        "ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s " + std::to_string(width) + "x" +
        std::to_string(height) + " -r " + std::to_string(kFps) +
        " -i pipe:0 -vf scale=out_color_matrix=bt709:out_range=tv -pix_fmt yuv420p -c:v libx264 "
        "-preset " +
        TimelapseVideoEncoder::presetFor(track(width, height)) +
        " -tune zerolatency -bf 0 -g 30 -b:v " +
        std::to_string(track(width, height).averageBitRate) +
        " -movflags frag_every_frame+empty_moov+default_base_moof -f mp4 " +
        folder.file("cli.mp4").string();
    int input[2];
    if (::pipe(input) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(input[0], 0);
        ::close(input[0]);
        ::close(input[1]);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(input[0]);
    int64_t k = 0;
    for (auto _ : state) {
        const auto& bytes = frames[k++ % kDistinctFrames]->bytes;
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t wrote = ::write(input[1], bytes.data() + done, bytes.size() - done);
            if (wrote <= 0) {
                state.SkipWithError("ffmpeg stopped reading");
                break;
            }
            done += size_t(wrote);
        }
    }
    ::close(input[1]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    state.counters["cpu_ms"] = seconds(usage) * 1e3 / double(std::max<int64_t>(k, 1));
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// One long small movie: resident memory after 100 and after 2,000 frames.
void BM_ResidentMemory(benchmark::State& state) {
    BenchFolder folder;
    const auto frames = desktopFrames(320, 240);
    for (auto _ : state) {
        FfmpegMovieWriters writers;
        auto writer = std::move(*writers.create(folder.file("Ventilux-memory.mp4")));
        writer->addVideoTrack(track(320, 240));
        writer->startWriting();
        for (int64_t k = 0; k < 2000; ++k) {
            waitUntilReady(*writer);
            writer->append(frames[k % kDistinctFrames], MediaTime{k, kFps});
            if (k + 1 == 100) {
                state.counters["rss_MB_100"] = residentMegabytes();
            }
        }
        waitUntilReady(*writer);
        state.counters["rss_MB_2000"] = residentMegabytes();
        std::promise<void> done;
        writer->finishWriting([&] { done.set_value(); });
        done.get_future().wait();
    }
}

void frameSizes(benchmark::internal::Benchmark* b) {
    b->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(kFramesPerRun);
}

// First, so that the larger frames of the others do not set the baseline.
BENCHMARK(BM_ResidentMemory)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Capture)->Apply(frameSizes);
BENCHMARK(BM_Convert)->Apply(frameSizes);
BENCHMARK(BM_Encode)->Apply(frameSizes);
BENCHMARK(BM_Write)->Apply(frameSizes);
BENCHMARK(BM_WholeWriter)->Apply(frameSizes);
BENCHMARK(BM_FfmpegCli)->Apply(frameSizes);

// Prints the usual table, then the stages side by side and the ratios.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) {
                continue;
            }
            // "BM_<stage>[/<width>/<height>]/iterations:N/real_time"
            const std::string name = run.benchmark_name();
            const std::string stem = name.substr(0, name.find("/iterations"));
            const size_t slash = stem.find('/');
            const std::string stage = stem.substr(3, slash - 3);
            const std::string size = slash == std::string::npos ? "" : stem.substr(slash + 1);
            ms_[size][stage] = run.GetAdjustedRealTime();
            for (const auto& [counter, value] : run.counters) {
                counters_[size][stage + "." + counter] = value;
            }
        }
    }

    void printSummary() const {
        for (const auto& [size, stages] : ms_) {
            if (size.empty()) {
                continue;
            }
            const auto of = [&](const std::string& key, const auto& table) {
                const auto found = table.find(key);
                return found == table.end() ? 0.0 : double(found->second);
            };
            const auto& counters = counters_.at(size);
            std::printf("\n%s, per frame, wall ms (CPU ms):\n", size.c_str());
            double wall = 0, cpu = 0;
            for (const char* stage : {"Capture", "Convert", "Encode", "Write"}) {
                std::printf("  %-8s %7.1f (%7.1f)\n", stage, of(stage, stages),
                            of(std::string(stage) + ".cpu_ms", counters));
                wall += of(stage, stages);
                cpu += of(std::string(stage) + ".cpu_ms", counters);
            }
            std::printf(
                "  %-8s %7.1f (%7.1f)\n  whole writer (convert+encode+write on its thread)"
                " %.1f (%.1f)\n",
                "sum", wall, cpu, of("WholeWriter", stages), of("WholeWriter.cpu_ms", counters));
            const double cli = of("FfmpegCli.cpu_ms", counters);
            if (cli > 0) {
                std::printf("  CPU per frame, writer / ffmpeg CLI: %.1f / %.1f ms = %.2fx\n",
                            of("WholeWriter.cpu_ms", counters), cli,
                            of("WholeWriter.cpu_ms", counters) / cli);
            }
        }
        const auto memory = counters_.find("");
        if (memory != counters_.end()) {
            const double early = memory->second.at("ResidentMemory.rss_MB_100");
            const double late = memory->second.at("ResidentMemory.rss_MB_2000");
            std::printf(
                "\nResident memory, 320x240: %.1f MB after 100 frames, %.1f MB after 2000"
                " (%.2fx)\n",
                early, late, late / early);
        }
    }

  private:
    std::map<std::string, std::map<std::string, double>> ms_;
    std::map<std::string, std::map<std::string, double>> counters_;
};

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_QUIET);
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}

// What one time-lapse frame costs, stage by stage, on the screen scripts/bench.sh
// gives (BENCH_SCREEN): a plain memcpy of the frame, the screenshot at the screen's
// own size, the screenshot converted to the encoder's YUV, the H.264 encode and the
// movie write. The stages take turns, round after round, so that a machine shared
// with other work weighs on all of them alike; each figure is the median of the
// rounds, warm-up excluded, as wall time beside the CPU time of this process and of
// the X server (which copies the screen into our memory). `--quick` runs fewer
// rounds.
// bench-screens: 1920x1080 3840x2160
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "GoalReport.h"
#include "platform/linux/media/LockedMovieFile.h"
#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"
#include "platform/linux/media/timelapse/TimelapseMuxer.h"
#include "platform/linux/media/timelapse/TimelapseVideoEncoder.h"
#include "platform/linux/x11/X11ScreenCapture.h"

namespace {

namespace fs = std::filesystem;
using vx::platform::PixelBuffer;
using vx::platform::ScreenshotRequest;
using vx::platform::VideoTrackSettings;
using vx::platform::linux_::LockedMovieFile;
using vx::platform::linux_::TimelapseFrameConverter;
using vx::platform::linux_::TimelapseMuxer;
using vx::platform::linux_::TimelapseVideoEncoder;
using vx::platform::linux_::X11ScreenCapture;

constexpr int kFps = 30;
constexpr int kDistinctFrames = 8;
constexpr int kWarmUpFrames = 5;
constexpr double kGoalRatio = 4.0;

VideoTrackSettings track(int64_t width, int64_t height) {
    return {width, height, std::max<int64_t>(width * height * 4, 2'000'000), 30, kFps};
}

// What one stage costs per frame, in milliseconds.
struct Cost {
    double wall = 0;
    double cpu = 0;     // of this process, every thread
    double server = 0;  // of the X server
};

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The X server's time on a CPU, to the nanosecond, from the scheduler's own count
// (the usual tick-counted figures are 10 ms coarse); 0 without with-desktop.sh's server.
double serverCpuSeconds() {
    const char* pid = std::getenv("WITH_DESKTOP_X_PID");
    if (pid == nullptr) {
        return 0;
    }
    std::ifstream schedstat("/proc/" + std::string(pid) + "/schedstat");
    double nanoseconds = 0;
    schedstat >> nanoseconds;
    return nanoseconds / 1e9;
}

// Runs `step` `frames` times after a warm-up that is not counted.
Cost measure(int frames, const std::function<void(int)>& step) {
    for (int k = 0; k < kWarmUpFrames; ++k) {
        step(k);
    }
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    const double serverStart = serverCpuSeconds();
    for (int k = 0; k < frames; ++k) {
        step(k);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double perFrame = 1e3 / frames;
    return {wall * perFrame, (processCpuSeconds() - cpuStart) * perFrame,
            (serverCpuSeconds() - serverStart) * perFrame};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A desktop as a time-lapse sees it: lines of small high-contrast "text" on
// light windows over a gradient, with one window moving and one paragraph
// changing from frame to frame.
std::vector<std::shared_ptr<const PixelBuffer>> desktopFrames(int64_t width, int64_t height) {
    std::mt19937 random(42);
    std::vector<uint8_t> base(size_t(width * height * 4));
    const auto paint = [&](std::vector<uint8_t>& image, int64_t x, int64_t y, uint8_t b, uint8_t g,
                           uint8_t r) {
        uint8_t* pixel = image.data() + (y * width + x) * 4;
        pixel[0] = b, pixel[1] = g, pixel[2] = r;
    };
    for (int64_t y = 0; y < height; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            paint(base, x, y, uint8_t(120 + 100 * y / height), uint8_t(60 + 80 * x / width), 40);
        }
    }
    const auto text = [&](std::vector<uint8_t>& image, int64_t left, int64_t top, int64_t w,
                          int64_t h) {
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
        std::vector<uint8_t> frame = base;
        text(frame, width / 2 + k * width / 80, height / 4 + k * height / 60, width / 3,
             height / 3);
        text(frame, width / 20, height * 6 / 10, width / 2, height / 20);
        frames.push_back(std::make_shared<const PixelBuffer>(
            PixelBuffer{width, height, width * 4, std::move(frame)}));
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

// One stage: its name, how many frames a round measures, and one frame's work.
struct Stage {
    const char* name;
    int frames;
    std::function<void(int)> step;
    std::vector<Cost> rounds;
};

// Everything the stages work on, made once.
class Frame {
  public:
    Frame(int width, int height)
        : request_{capture_.mainDisplayID(), width, height, true, true},
          from_(size_t(width) * height * 4, 1),
          to_(from_.size()),
          desktop_(desktopFrames(width, height)),
          converter_(std::move(*TimelapseFrameConverter::open(width, height))),
          encoder_(std::move(*TimelapseVideoEncoder::open(track(width, height)))),
          file_(std::move(*LockedMovieFile::createExclusive(folder_.file("Ventilux-bench.mp4")))),
          muxer_(std::move(*TimelapseMuxer::open(file_, encoder_->context()))) {
        for (const auto& picture : desktop_) {
            converters_.push_back(std::move(*TimelapseFrameConverter::open(width, height)));
            pictures_.push_back(*converters_.back()->convert(*picture));
        }
    }
    ~Frame() {
        for (AVPacket* packet : packets_) {
            av_packet_free(&packet);
        }
    }

    std::vector<Stage> stages() {
        return {{"memcpy", 40, [this](int) { memcpyFrame(); }, {}},
                {"capture", 20, [this](int) { (void)capture(); }, {}},
                {"capture+convert", 20, [this](int) { captureAndConvert(); }, {}},
                {"encode", 20, [this](int k) { encode(k); }, {}},
                {"write", 40, [this](int k) { write(k); }, {}}};
    }

  private:
    void memcpyFrame() {
        std::memcpy(to_.data(), from_.data(), from_.size());
        asm volatile("" : : "r"(to_.data()) : "memory");
    }

    std::shared_ptr<const PixelBuffer> capture() {
        std::shared_ptr<const PixelBuffer> shot;
        capture_.captureScreenshot(request_, [&](auto taken) {
            if (!taken) {
                std::fprintf(stderr, "The screenshot failed: %s\n",
                             taken.error().description.c_str());
                std::exit(1);
            }
            shot = std::move(*taken);
        });
        return shot;
    }

    // As the writer's thread does it, with the picture let go afterwards.
    void captureAndConvert() {
        if (!converter_->convert(*capture())) {
            std::fprintf(stderr, "The conversion failed.\n");
            std::exit(1);
        }
    }

    void encode(int k) {
        AVFrame* picture = pictures_[size_t(k) % pictures_.size()];
        picture->pts = pts_++;
        (void)encoder_->encode(picture,
                               [&](AVPacket& packet) -> std::expected<void, vx::platform::Error> {
                                   if (packets_.size() < kDistinctFrames * 4) {
                                       packets_.push_back(av_packet_clone(&packet));
                                   }
                                   return {};
                               });
    }

    // The packets the encode stage made, again and again at later times.
    void write(int k) {
        if (packets_.empty()) {
            return;
        }
        // A reference of its own, since writing rescales the packet's times in place.
        AVPacket* packet = av_packet_clone(packets_[size_t(k) % packets_.size()]);
        packet->pts = packet->dts = written_++;
        auto written = muxer_->write(*packet);
        av_packet_free(&packet);
        if (!written) {
            std::fprintf(stderr, "Writing failed: %s\n", written.error().description.c_str());
            std::exit(1);
        }
    }

    BenchFolder folder_;
    X11ScreenCapture capture_;
    const ScreenshotRequest request_;
    std::vector<uint8_t> from_, to_;
    std::vector<std::shared_ptr<const PixelBuffer>> desktop_;
    std::unique_ptr<TimelapseFrameConverter> converter_;
    std::vector<std::unique_ptr<TimelapseFrameConverter>> converters_;  // one per picture
    std::vector<AVFrame*> pictures_;
    std::unique_ptr<TimelapseVideoEncoder> encoder_;
    LockedMovieFile file_;
    std::unique_ptr<TimelapseMuxer> muxer_;
    std::vector<AVPacket*> packets_;
    int64_t pts_ = 0;
    int64_t written_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_QUIET);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const char* screen = std::getenv("BENCH_SCREEN");
    const char* display = std::getenv("DISPLAY");
    int width = 0, height = 0;
    if (screen == nullptr || display == nullptr ||
        std::sscanf(screen, "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr,
                     "Needs BENCH_SCREEN=WxH and its X server: run it with scripts/bench.sh.\n");
        return 2;
    }
    Frame frame(width, height);
    std::vector<Stage> stages = frame.stages();
    const int rounds = quick ? 3 : 9;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        for (Stage& stage : stages) {
            stage.rounds.push_back(measure(stage.frames, stage.step));
        }
        ratios.push_back(stages[2].rounds.back().wall / stages[0].rounds.back().wall);
    }
    std::printf("%s, per frame, median of %d rounds: wall ms, CPU ms (this process, X server)\n",
                screen, rounds);
    std::vector<Cost> medians;
    for (const Stage& stage : stages) {
        const auto of = [&](double Cost::*field) {
            std::vector<double> values;
            for (const Cost& cost : stage.rounds) {
                values.push_back(cost.*field);
            }
            return median(values);
        };
        medians.push_back({of(&Cost::wall), of(&Cost::cpu), of(&Cost::server)});
        std::printf("  %-16s %7.2f  %7.2f  %7.2f\n", stage.name, medians.back().wall,
                    medians.back().cpu, medians.back().server);
    }
    const double ratio = median(ratios);
    char figure[160];
    std::snprintf(figure, sizeof figure, "%.2f ms = %.1fx memcpy %.2f ms (CPU %.2f + X %.2f ms)",
                  medians[2].wall, ratio, medians[0].wall, medians[2].cpu, medians[2].server);
    vx::bench::reportGoal("Capture + convert within 4× a memcpy (" + std::string(screen) + ")",
                          figure, ratio <= kGoalRatio);
    return 0;
}

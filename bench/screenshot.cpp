// Screenshots of a full-HD and a 4K display, as taken and as shrunk to half size,
// each set against a plain memcpy of the same frame measured in the same run.
// Needs an X server whose screen is 3840x2160 (scripts/bench.sh starts one); the
// full-HD display is a RandR monitor the benchmark adds on it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/x11/X11ScreenCapture.h"

namespace {

using vx::platform::ScreenshotRequest;
using vx::platform::linux_::X11ScreenCapture;

std::optional<uint32_t> displayOfSize(X11ScreenCapture& service, int64_t width, int64_t height) {
    std::optional<uint32_t> found;
    service.shareableContent([&](auto listed) {
        if (!listed) {
            return;
        }
        for (const auto& display : listed->displays) {
            if (display.width == width && display.height == height) {
                found = display.displayID;
            }
        }
    });
    return found;
}

bool takeScreenshot(X11ScreenCapture& service, const ScreenshotRequest& request) {
    bool taken = false;
    service.captureScreenshot(request, [&](auto shot) {
        taken = shot.has_value();
        if (taken) {
            benchmark::DoNotOptimize((*shot)->bytes.data());
        }
    });
    return taken;
}

// Arguments of every benchmark: display width, display height.
void BM_Memcpy(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0)) * state.range(1) * 4;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
}

void screenshotBenchmark(benchmark::State& state, X11ScreenCapture& service, double scale) {
    const auto id = displayOfSize(service, state.range(0), state.range(1));
    if (!id) {
        state.SkipWithError("no display of that size: run this under scripts/bench.sh");
        return;
    }
    const ScreenshotRequest request{*id, int64_t(state.range(0) * scale),
                                    int64_t(state.range(1) * scale), true, true};
    for (auto _ : state) {
        if (!takeScreenshot(service, request)) {
            state.SkipWithError("the screenshot failed");
            return;
        }
    }
}

void BM_Screenshot(benchmark::State& state) {
    X11ScreenCapture service;
    screenshotBenchmark(state, service, 1.0);
}

void BM_ScreenshotHalfSize(benchmark::State& state) {
    X11ScreenCapture service;
    screenshotBenchmark(state, service, 0.5);
}

// What one connection per call would cost: a fresh connection, its extension
// queries and its shared-memory segment for every screenshot.
void BM_ScreenshotOwnConnection(benchmark::State& state) {
    const auto id = [&] {
        X11ScreenCapture lister;
        return displayOfSize(lister, state.range(0), state.range(1));
    }();
    if (!id) {
        state.SkipWithError("no display of that size: run this under scripts/bench.sh");
        return;
    }
    const ScreenshotRequest request{*id, state.range(0), state.range(1), true, true};
    for (auto _ : state) {
        X11ScreenCapture service;
        if (!takeScreenshot(service, request)) {
            state.SkipWithError("the screenshot failed");
            return;
        }
    }
}

void frameSizes(benchmark::internal::Benchmark* b) {
    b->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Memcpy)->Apply(frameSizes);
BENCHMARK(BM_Screenshot)->Apply(frameSizes);
BENCHMARK(BM_ScreenshotHalfSize)->Apply(frameSizes);
BENCHMARK(BM_ScreenshotOwnConnection)->Apply(frameSizes);

// Prints the usual table, then each benchmark's time over the memcpy of its frame size.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                realTimes_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }

    void printRatios() const {
        std::printf("\nTime relative to a memcpy of the same frame:\n");
        for (const auto& [name, time] : realTimes_) {
            const std::string sizes = name.substr(name.find('/'));
            const auto baseline = realTimes_.find("BM_Memcpy" + sizes);
            if (name.rfind("BM_Memcpy", 0) != 0 && baseline != realTimes_.end()) {
                std::printf("  %-50s %7.1fx\n", name.c_str(), time / baseline->second);
            }
        }
    }

  private:
    std::map<std::string, double> realTimes_;
};

}  // namespace

int main(int argc, char** argv) {
    // The full-HD display: a monitor on the top-left quarter of the 4K screen.
    if (std::system("xrandr --setmonitor bench-fhd 1920/508x1080/286+0+0 none") != 0) {
        std::fprintf(stderr, "bench_screenshot: could not add the 1920x1080 monitor\n");
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}

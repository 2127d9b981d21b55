// Resident memory of the ventilux program across ten recordings in a row of a
// busy full-HD screen, first ten time-lapses, then ten real-time recordings, in
// one process, as a user makes them with --start and --stop. Memory that a
// recording takes and does not give back shows as a climb from the first to the
// tenth.
// bench-screens: 1920x1080
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "GoalReport.h"
#include "RunningApp.h"

namespace {

namespace fs = std::filesystem;
using vx::bench::RunningApp;

constexpr int kRecordings = 10;
constexpr double kTimelapseLimitMiB = 100;
constexpr double kAllowedClimb = 1.10;

struct Climb {
    double first = 0;
    double last = 0;
    bool complete = false;
};

// Resident memory after the first and after the last of ten recordings.
Climb tenRecordings(const RunningApp& app, double seconds, const char* mode) {
    Climb climb;
    for (int k = 1; k <= kRecordings; ++k) {
        if (!app.record(seconds)) {
            std::fprintf(stderr, "%s recording %d did not save a movie\n", mode, k);
            return climb;
        }
        const double resident = vx::bench::residentMiB(app.pid());
        std::printf("%-9s recording %2d: %6.1f MiB resident\n", mode, k, resident);
        (k == 1 ? climb.first : climb.last) = resident;
    }
    climb.complete = true;
    return climb;
}

std::string figure(const Climb& climb) {
    char text[96];
    std::snprintf(text, sizeof text, "%.1f MiB after the 1st, %.1f after the 10th (%+.1f %%)",
                  climb.first, climb.last, (climb.last / climb.first - 1) * 100);
    return text;
}

}  // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "vx-memory-XXXXXX").string();
    const fs::path work = ::mkdtemp(pattern.data());
    const std::string screen = std::getenv("BENCH_SCREEN") ? std::getenv("BENCH_SCREEN") : "";
    {
        vx::bench::BusyDesktop desktop(work);
        // A frame every quarter second: a 1080p time-lapse of 20 frames per recording.
        const std::vector<std::string> common = {"captureInterval=double:0.25",
                                                 "countdownSeconds=int:0",
                                                 "outputPath=string:" + work.string()};
        std::vector<std::string> settings = common;
        settings.push_back("realtimeMode=bool:false");
        RunningApp::writeSettings(settings);
        RunningApp app(work, settings);
        if (!desktop.ready() || !app.error().empty()) {
            std::fprintf(stderr, "cannot start: %s\n",
                         desktop.ready() ? app.error().c_str() : "no busy desktop");
            return 1;
        }
        const Climb timelapse = tenRecordings(app, 5, "time-lapse");
        settings = common;
        settings.push_back("realtimeMode=bool:true");
        RunningApp::writeSettings(settings);
        const Climb realtime = tenRecordings(app, 4, "real-time");

        vx::bench::reportGoal(
            "Memory, ten " + screen + " time-lapses: within 10 %, < 100 MiB", figure(timelapse),
            timelapse.complete && timelapse.last <= timelapse.first * kAllowedClimb &&
                timelapse.last < kTimelapseLimitMiB);
        vx::bench::reportGoal("Memory, ten " + screen + " real-time recordings: within 10 %",
                              figure(realtime),
                              realtime.complete && realtime.last <= realtime.first * kAllowedClimb);
    }
    fs::remove_all(work);
    return 0;
}

// What it costs the settings store to read the file again on every lookup,
// against the least a cache that notices other copies' writes would still pay
// per lookup (one stat of the file).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/linux/store/LinuxDefaultsStore.h"

namespace {

using vx::platform::DefaultsValue;
using vx::platform::linux_::LinuxDefaultsStore;

class QuietLog : public vx::platform::Log {
  public:
    void line(const std::string&) override {}
};

// A store holding every setting the program knows, as after a few weeks of use.
struct FilledStore {
    FilledStore() {
        char folderTemplate[] = "/tmp/ventilux-bench-XXXXXX";
        root = mkdtemp(folderTemplate);
        file = root / "settings.ini";
        store = std::make_unique<LinuxDefaultsStore>(file, log);
        const std::map<std::string, DefaultsValue> values{
            {"captureInterval", 2.0},
            {"playbackFPS", int64_t{30}},
            {"resolutionScale", 0.5},
            {"showsCursor", true},
            {"realtimeMode", false},
            {"realtimeFPS", int64_t{60}},
            {"capturesSystemAudio", true},
            {"showsMouseClicks", true},
            {"countdownSeconds", int64_t{3}},
            {"hotkeyEnabled", false},
            {"displayID", int64_t{1234567}},
            {"microphoneDeviceID", std::string("alsa_input.usb-Blue_Microphones_Yeti-00.analog")},
            {"outputPath", std::string("/home/someone/Videos/Time-lapses")},
        };
        for (const auto& [key, value] : values) {
            store->set(key, value);
        }
    }
    ~FilledStore() { std::filesystem::remove_all(root); }

    QuietLog log;
    std::filesystem::path root;
    std::filesystem::path file;
    std::unique_ptr<LinuxDefaultsStore> store;
};

void BM_StatOfTheFile(benchmark::State& state) {
    FilledStore filled;
    struct stat info {};
    for (auto _ : state) {
        benchmark::DoNotOptimize(::stat(filled.file.c_str(), &info));
    }
}
BENCHMARK(BM_StatOfTheFile);

void BM_ReadOneValue(benchmark::State& state) {
    FilledStore filled;
    for (auto _ : state) {
        benchmark::DoNotOptimize(filled.store->value("outputPath"));
    }
}
BENCHMARK(BM_ReadOneValue);

// Building the menu reads about a dozen settings.
void BM_ReadEverySettingOnce(benchmark::State& state) {
    FilledStore filled;
    for (auto _ : state) {
        for (const char* key :
             {"captureInterval", "playbackFPS", "resolutionScale", "showsCursor", "realtimeMode",
              "realtimeFPS", "capturesSystemAudio", "showsMouseClicks", "countdownSeconds",
              "hotkeyEnabled", "displayID", "microphoneDeviceID", "outputPath"}) {
            benchmark::DoNotOptimize(filled.store->value(key));
        }
    }
}
BENCHMARK(BM_ReadEverySettingOnce);

// Locked, re-read, written to a new file, flushed to disk and renamed.
void BM_WriteOneValue(benchmark::State& state) {
    FilledStore filled;
    int64_t i = 0;
    for (auto _ : state) {
        filled.store->set("countdownSeconds", ++i);
    }
}
BENCHMARK(BM_WriteOneValue)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

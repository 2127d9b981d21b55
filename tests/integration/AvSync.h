#pragma once

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
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "CommandOutput.h"
#include "MovieProbe.h"

// How far a movie's sound is from its picture, found from events made for it:
// flash-and-beep beeps and turns the screen white at the same instants, and
// the beeps' onsets and the first white frames are looked up in the movie by
// the movie's own time stamps, read back with ffmpeg.
namespace vx::fixtures {

// flash-and-beep running beside the test from construction (its screen black
// and its sound playing) to finish().
class FlashAndBeep {
  public:
    struct Event {
        double seconds = 0;
        // How far after the beep's first sample played the screen turned
        // white, and the output's monitor heard the beep, in milliseconds.
        double flashLateMs = 0;
        std::optional<double> heardLateMs;
    };

    explicit FlashAndBeep(const std::vector<double>& moments) {
        std::string command = VX_FLASH_AND_BEEP;
        for (const double moment : moments) {
            command += " " + std::to_string(moment);
        }
        pipe_ = ::popen(command.c_str(), "r");
        char line[8] = "";
        ready_ = pipe_ != nullptr && std::fgets(line, sizeof line, pipe_) != nullptr &&
                 std::string(line) == "ready\n";
    }
    ~FlashAndBeep() {
        if (pipe_ != nullptr) {
            ::pclose(pipe_);
        }
    }
    FlashAndBeep(const FlashAndBeep&) = delete;
    FlashAndBeep& operator=(const FlashAndBeep&) = delete;

    bool ready() const { return ready_; }
    // Once the last event is over; empty when the tool failed.
    std::vector<Event> finish() {
        std::vector<Event> events;
        Event event;
        char heard[32] = "";
        while (pipe_ != nullptr && std::fscanf(pipe_, " event %lf flash %lf heard %31s",
                                               &event.seconds, &event.flashLateMs, heard) == 3) {
            event.heardLateMs =
                std::string(heard) == "none" ? std::nullopt : std::optional(std::atof(heard));
            events.push_back(event);
        }
        const bool succeeded = pipe_ != nullptr && ::pclose(std::exchange(pipe_, nullptr)) == 0;
        return succeeded ? events : std::vector<Event>{};
    }

  private:
    FILE* pipe_ = nullptr;
    bool ready_ = false;
};

// The first frame of each flash, by its time in the movie. A flash whose
// frame before is missing from the movie (dropped while the encoder was
// behind) may have begun in that frame: its time is not a measure.
struct Flash {
    double seconds = 0;
    bool previousFrameKept = true;
};

inline std::vector<Flash> whiteFlashes(const std::filesystem::path& movie) {
    std::istringstream lines(commandOutput(
        "ffmpeg -nostdin -v error -copyts -i " + quoted(movie) +
        // A thumbnail has the picture's mean brightness at a fraction of the work.
        " -map 0:v:0 -vf scale=64:36,signalstats,metadata=mode=print:key=lavfi.signalstats.YAVG:"
        "file=- "
        "-f null -"));
    struct Frame {
        double seconds;
        double luma;
    };
    std::vector<Frame> frames;
    for (std::string line; std::getline(lines, line);) {
        if (const size_t at = line.find("pts_time:"); at != std::string::npos) {
            frames.push_back({std::stod(line.substr(at + 9)), -1});
        } else if (const size_t at = line.find("YAVG=");
                   at != std::string::npos && !frames.empty()) {
            frames.back().luma = std::stod(line.substr(at + 5));
        }
    }
    double period = 1e9;
    for (size_t i = 1; i < frames.size(); ++i) {
        period = std::min(period, frames[i].seconds - frames[i - 1].seconds);
    }
    std::vector<Flash> flashes;
    constexpr double kMidGrey = 128;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].luma > kMidGrey && frames[i - 1].luma <= kMidGrey) {
            const double gap = frames[i].seconds - frames[i - 1].seconds;
            flashes.push_back({frames[i].seconds, gap < 1.5 * period});
        }
    }
    return flashes;
}

// The time of each beep's first loud sample in the movie.
inline std::vector<double> beepOnsets(const std::filesystem::path& movie) {
    // Every decoded piece of sound, by its time and length, in the order the
    // raw samples below follow one another.
    std::istringstream frameLines(commandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries frame=pts_time,nb_samples "
        "-of csv=p=0 " +
        quoted(movie)));
    struct Piece {
        double seconds;
        int64_t samples;
    };
    std::vector<Piece> pieces;
    for (std::string line; std::getline(frameLines, line);) {
        double seconds = 0;
        long samples = 0;
        if (std::sscanf(line.c_str(), "%lf,%ld", &seconds, &samples) == 2) {
            pieces.push_back({seconds, samples});
        }
    }
    const int64_t rate = MovieProbe(movie).stream("audio").sampleRate;
    const std::string raw = commandOutput("ffmpeg -nostdin -v error -copyts -i " + quoted(movie) +
                                          " -map 0:a:0 -ac 1 -f f32le -");
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
    // The beep is at half of full scale; its onset is where it first reaches
    // half of that, a quarter of a wave at most after its first sample.
    constexpr float kLoud = 0.25f;
    constexpr double kQuietBetween = 0.3;  // seconds
    std::vector<double> onsets;
    size_t piece = 0;
    int64_t pieceStart = 0;
    for (size_t i = 0; i < samples.size() && rate > 0; ++i) {
        while (piece + 1 < pieces.size() && int64_t(i) >= pieceStart + pieces[piece].samples) {
            pieceStart += pieces[piece++].samples;
        }
        if (std::fabs(samples[i]) < kLoud || piece >= pieces.size()) {
            continue;
        }
        const double at = pieces[piece].seconds + double(int64_t(i) - pieceStart) / double(rate);
        if (onsets.empty() || at - onsets.back() > kQuietBetween) {
            onsets.push_back(at);
        }
    }
    return onsets;
}

// One event as the movie holds it: the first white frame's time less the
// beep's onset, corrected by how late the tool turned the screen white.
struct SyncOffset {
    double seconds = 0;              // when the event was, in the movie
    std::optional<double> offsetMs;  // none when a dropped frame hides it
};

// Each flash in the movie paired with the beep nearest to it (within half a
// second), in the movie's order; flashes without one are left out.
inline std::vector<SyncOffset> syncOffsets(const std::filesystem::path& movie,
                                           const std::vector<FlashAndBeep::Event>& events) {
    const std::vector<Flash> flashes = whiteFlashes(movie);
    const std::vector<double> beeps = beepOnsets(movie);
    double meanLateMs = 0;
    for (const FlashAndBeep::Event& event : events) {
        meanLateMs += event.flashLateMs / double(events.size());
    }
    std::vector<SyncOffset> offsets;
    for (size_t i = 0; i < flashes.size(); ++i) {
        const auto beep = std::min_element(beeps.begin(), beeps.end(), [&](double a, double b) {
            return std::fabs(a - flashes[i].seconds) < std::fabs(b - flashes[i].seconds);
        });
        if (beep == beeps.end() || std::fabs(*beep - flashes[i].seconds) > 0.5) {
            continue;
        }
        // How late the tool turned the screen white, event by event while
        // every one is in the movie.
        const double lateMs = flashes.size() == events.size() ? events[i].flashLateMs : meanLateMs;
        SyncOffset offset{*beep, std::nullopt};
        if (flashes[i].previousFrameKept) {
            offset.offsetMs = (flashes[i].seconds - *beep) * 1000 - lateMs;
        }
        offsets.push_back(offset);
    }
    return offsets;
}

// The real program recording in real time from its own settings, started and
// stopped the way a user's script does it (--start, --stop), on the desktop
// with-desktop.sh made (X, session bus, sound server).
class RealtimeProgram {
  public:
    struct Settings {
        int framesPerSecond = 60;
        double scale = 1.0;
        bool systemAudio = true;
    };

    RealtimeProgram(const std::string& binary, const std::filesystem::path& folder,
                    const Settings& settings)
        : binary_(binary), folder_(folder) {
        const std::filesystem::path config =
            std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "ventilux";
        std::filesystem::create_directories(config);
        std::ofstream(config / "settings.ini")
            << "realtimeMode=bool:true\nrealtimeFPS=int:" << settings.framesPerSecond
            << "\nresolutionScale=double:" << settings.scale
            << "\ncapturesSystemAudio=bool:" << (settings.systemAudio ? "true" : "false")
            << "\ncountdownSeconds=int:0\nhotkeyEnabled=bool:false\noutputPath=string:"
            << folder.string() << "\n";
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string log = (folder / "ventilux.log").string();
            std::freopen(log.c_str(), "w", stderr);
            ::execl(binary.c_str(), binary.c_str(), nullptr);
            ::_exit(127);
        }
        const auto named = [] {
            return commandOutput(
                       "gdbus call --session --dest org.freedesktop.DBus --object-path "
                       "/org/freedesktop/DBus --method "
                       "org.freedesktop.DBus.NameHasOwner lab.quimbry.Ventilux") == "(true,)\n";
        };
        running_ = within(kStartPatience, named, kPoll);
    }
    ~RealtimeProgram() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    RealtimeProgram(const RealtimeProgram&) = delete;
    RealtimeProgram& operator=(const RealtimeProgram&) = delete;

    // Whether the program runs and took the request, and then records.
    bool start() {
        const auto recording = [] {
            return commandOutput(
                       "gdbus call --session -d lab.quimbry.Ventilux -o "
                       "/lab/quimbry/Ventilux -m org.freedesktop.DBus.Properties.Get "
                       "lab.quimbry.Ventilux1 Recording 2>/dev/null") == "(<true>,)\n";
        };
        return running_ && std::system((binary_ + " --start").c_str()) == 0 &&
               within(kStartPatience, recording, kPoll);
    }
    // The finished movie, or none when it never became one.
    std::optional<std::filesystem::path> stop() {
        std::optional<std::filesystem::path> movie;
        const auto finished = [&] {
            for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
                const std::string name = entry.path().filename().string();
                if (name.starts_with("Ventilux-") && isRegularWithIndexInFront(entry.path())) {
                    movie = entry.path();
                }
            }
            return movie.has_value();
        };
        if (std::system((binary_ + " --stop").c_str()) == 0) {
            within(kFinishPatience, finished, kPoll);
        }
        return movie;
    }

  private:
    static constexpr auto kStartPatience = std::chrono::seconds(20);
    static constexpr auto kFinishPatience = std::chrono::seconds(60);
    static constexpr auto kPoll = std::chrono::milliseconds(50);

    std::string binary_;
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    bool running_ = false;
};

}  // namespace vx::fixtures

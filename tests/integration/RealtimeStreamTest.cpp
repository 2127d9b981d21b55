#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "MovieProbe.h"
#include "TemporaryFolder.h"
#include "platform/RecordingStream.h"
#include "platform/linux/media/realtime/AudioMixer.h"
#include "platform/linux/media/realtime/FfmpegRecordingStreams.h"
#include "platform/linux/media/realtime/RealtimeFrameScaler.h"
#include "platform/linux/pulse/SampleClock.h"
#include "platform/linux/x11/X11ScreenCapture.h"
#include "platform/linux/x11/X11VideoCapture.h"

namespace vx::platform::linux_ {
namespace {

namespace fs = std::filesystem;
using fixtures::decodeErrors;
using fixtures::isRegularWithIndexInFront;
using fixtures::MovieProbe;
using fixtures::TemporaryFolder;
using Clock = std::chrono::steady_clock;

// Only a lost report or a deadlock comes near this.
constexpr auto kPatience = std::chrono::seconds(30);

// paplay of a long tone into one sink, for as long as this lives, heard from the start.
class TonePlayer {
  public:
    TonePlayer(const fs::path& folder, const std::string& sink) {
        const fs::path tone = folder / "tone.wav";
        EXPECT_EQ(std::system(("sox -n -r 48000 -c 2 " + fixtures::quoted(tone) +
                               " synth 30 sine 440 vol 0.5")
                                  .c_str()),
                  0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execlp("paplay", "paplay", "-d", sink.c_str(), tone.c_str(), nullptr);
            ::_exit(127);
        }
        // Returns once the tone is heard on the sink's monitor, as a recording would hear it.
        EXPECT_TRUE(fixtures::within(kPatience, [&] {
            return fixtures::meanVolumeOf("-f pulse -t 0.2 -i " + sink + ".monitor") > -40;
        }));
    }
    ~TonePlayer() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_;
};

// What the stream reported, from whichever thread it chose.
class Reports {
  public:
    RecordingEvents events() {
        return {[this] { add("finished", std::nullopt); },
                [this](const Error& error) { add("failed", error); },
                [this](const Error& error) { add("stopped", error); }};
    }
    std::vector<std::pair<std::string, std::optional<Error>>> snapshot() {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    // The reports once there is at least one, or none after the patience ran out.
    std::vector<std::pair<std::string, std::optional<Error>>> awaitFirst() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPatience, [this] { return !reports_.empty(); });
        return reports_;
    }

  private:
    void add(std::string what, std::optional<Error> error) {
        {
            std::lock_guard lock(mutex_);
            reports_.emplace_back(std::move(what), std::move(error));
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::string, std::optional<Error>>> reports_;
};

std::optional<Error> startCapture(RecordingStream& stream) {
    std::optional<Error> outcome = Error{"test", 0, "the start handler never ran"};
    int calls = 0;
    stream.startCapture([&](std::optional<Error> error) {
        outcome = std::move(error);
        ++calls;
    });
    EXPECT_EQ(calls, 1);
    return outcome;
}

// Waits until the stream has written some picture and sound, so that what the
// test stops is a recording and not an empty file.
void awaitSomeRecording(const RecordingStream& stream) {
    fixtures::within(kPatience, [&] { return stream.recordedDuration().seconds() >= 0.5; });
}

void stopCapture(RecordingStream& stream) {
    int calls = 0;
    stream.stopCapture([&](std::optional<Error> error) {
        EXPECT_FALSE(error.has_value());
        ++calls;
    });
    EXPECT_EQ(calls, 1);
}

// Records in a child process of its own and kills that with SIGKILL `after`
// its capture started; how long it had been recording, or 0 when it never
// started.
double recordUntilKilled(const StreamConfiguration& stream, MovieFileType type,
                         const fs::path& movie, std::chrono::milliseconds after) {
    int started[2];
    if (::pipe(started) != 0) {
        return 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(started[0]);
        FfmpegRecordingStreams streams{X11VideoCapture::open};
        auto made = streams.makeStream(stream, {std::nullopt, type, movie}, {});
        bool running = false;
        if (made) {
            (*made)->startCapture([&](std::optional<Error> error) { running = !error; });
        }
        if (!running || ::write(started[1], "s", 1) != 1) {
            ::_exit(1);
        }
        for (;;) {
            ::pause();
        }
    }
    ::close(started[1]);
    char byte;
    const bool running = ::read(started[0], &byte, 1) == 1;
    ::close(started[0]);
    const Clock::time_point from = Clock::now();
    if (running) {
        std::this_thread::sleep_for(after);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return running ? std::chrono::duration<double>(Clock::now() - from).count() : 0;
}

// What a user may lose of a recording cut short `end` seconds in: every
// track reaches to within the last second.
void expectAllButTheLastSecond(const MovieProbe& movie, double end) {
    for (const MovieProbe::Stream& track : movie.streams) {
        EXPECT_GT(track.duration, end - 1.0) << track.type;
        EXPECT_LE(track.duration, end) << track.type;
    }
}

class RealtimeStreamTest : public ::testing::Test {
  protected:
    // A quarter of the 1920 × 1080 screen, at 30 frames per second.
    StreamConfiguration configuration(bool systemAudio, std::optional<std::string> microphone) {
        StreamConfiguration stream;
        stream.displayID = X11ScreenCapture().mainDisplayID();
        stream.width = 480;
        stream.height = 270;
        stream.minimumFrameInterval = {1, 30};
        stream.capturesAudio = systemAudio;
        stream.captureMicrophone = microphone.has_value();
        stream.microphoneCaptureDeviceID = std::move(microphone);
        return stream;
    }
    // A QuickTime movie; its reports go to `to`, else to `reports`.
    std::shared_ptr<RecordingStream> make(const StreamConfiguration& stream, const fs::path& file,
                                          Reports* to = nullptr,
                                          std::optional<VideoCodec> codec = VideoCodec::h264) {
        auto made = streams.makeStream(stream, {codec, MovieFileType::quickTimeMovie, file},
                                       (to != nullptr ? *to : reports).events());
        EXPECT_TRUE(made.has_value()) << made.error().description;
        return made ? *made : nullptr;
    }

    TemporaryFolder folder;
    FfmpegRecordingStreams streams{X11VideoCapture::open};
    Reports reports;
};

// Which sources end up in the movie, and that sound and picture last as long
// as the recording did.
TEST_F(RealtimeStreamTest, RecordsTheChosenSoundSourcesInStepWithThePicture) {
    struct Case {
        const char* what;
        bool systemAudio;
        std::optional<std::string> microphone;
        const char* playInto;
        bool audioTrack;
        bool audible;
    } cases[] = {
        {"system sound", true, std::nullopt, "sysout", true, true},
        {"microphone", false, "virtmic", "micfeed", true, true},
        {"microphone while only the system plays", false, "virtmic", "sysout", true, false},
        {"both sources, the system playing", true, "virtmic", "sysout", true, true},
        {"no sound asked for", false, std::nullopt, "sysout", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path movie = folder.path() / (std::string(c.what) + ".mov");
        Reports caseReports;
        // No codec asked for: the stream's own choice.
        auto made = make(configuration(c.systemAudio, c.microphone), movie, &caseReports, {});
        ASSERT_NE(made, nullptr);
        TonePlayer player(folder.path(), c.playInto);
        const auto error = startCapture(*made);
        ASSERT_FALSE(error.has_value()) << error->description;
        const Clock::time_point started = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        EXPECT_GT(made->recordedDuration().seconds(), 1.5);
        EXPECT_GT(made->recordedFileSize(), 0);
        const double wall = std::chrono::duration<double>(Clock::now() - started).count();
        stopCapture(*made);

        const auto reported = caseReports.awaitFirst();
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0].first, "finished");
        EXPECT_TRUE(isRegularWithIndexInFront(movie));
        const MovieProbe probe(movie);
        ASSERT_EQ(probe.streams.size(), c.audioTrack ? 2u : 1u);
        const MovieProbe::Stream video = probe.stream("video"), audio = probe.stream("audio");
        EXPECT_EQ(video.codec, "h264");
        EXPECT_EQ(std::make_pair(video.width, video.height), std::make_pair(480L, 270L));
        EXPECT_NEAR(video.duration, wall, 0.25);
        if (!c.audioTrack) {
            continue;
        }
        EXPECT_EQ(audio.codec, "aac");
        EXPECT_EQ(std::make_pair(audio.sampleRate, audio.channels), std::make_pair(48000L, 2L));
        EXPECT_NEAR(audio.duration, video.duration, 0.2);
        const double volume = fixtures::meanVolume(movie);
        if (c.audible) {
            EXPECT_GT(volume, -40) << "the tone is missing";
            // The tone was heard before the start: the sound begins with the picture.
            EXPECT_LT(fixtures::leadingSilence(movie), 0.1) << "the tone came in late";
        } else {
            EXPECT_LT(volume, -80) << "a source that was not chosen was recorded";
        }
    }
}

TEST_F(RealtimeStreamTest, StartsThatCannotRecordFailOnceWithASentenceAndLeaveFilesAlone) {
    const fs::path existing = folder.path() / "existing.mov";
    std::ofstream(existing) << "keep me";
    StreamConfiguration goneDisplay = configuration(false, std::nullopt);
    goneDisplay.displayID = 12345;
    struct Case {
        const char* what;
        StreamConfiguration stream;
        fs::path file;
        const char* expected;
    } cases[] = {
        {"unknown microphone", configuration(true, "no-such-mic"), folder.path() / "mic.mov",
         "The microphone “no-such-mic” cannot be recorded: No such entity."},
        {"display that is not there", goneDisplay, folder.path() / "display.mov",
         "The display to capture is no longer connected."},
        {"file that exists", configuration(false, std::nullopt), existing, "File exists."},
        {"folder that does not exist", configuration(false, std::nullopt),
         folder.path() / "none" / "x.mov", "No such file or directory."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto stream = make(c.stream, c.file);
        ASSERT_NE(stream, nullptr);
        const auto error = startCapture(*stream);
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(error->description.ends_with(c.expected)) << error->description;
        stopCapture(*stream);
    }
    EXPECT_FALSE(fs::exists(folder.path() / "mic.mov"));
    EXPECT_FALSE(fs::exists(folder.path() / "display.mov"));
    EXPECT_EQ(fixtures::contents(existing), "keep me");
    EXPECT_TRUE(reports.snapshot().empty()) << "a start that failed reported an end";
}

TEST_F(RealtimeStreamTest, SecondStopAndDestructionWithoutStopEndOnceAndLeaveAPlayableFile) {
    const fs::path stoppedTwice = folder.path() / "twice.mov";
    auto stream = make(configuration(true, std::nullopt), stoppedTwice);
    ASSERT_FALSE(startCapture(*stream).has_value());
    awaitSomeRecording(*stream);
    stopCapture(*stream);
    stopCapture(*stream);
    EXPECT_EQ(reports.snapshot().size(), 1u);

    const fs::path dropped = folder.path() / "dropped.mov";
    Reports droppedReports;
    auto unstopped = make(configuration(true, "virtmic"), dropped, &droppedReports);
    ASSERT_NE(unstopped, nullptr);
    ASSERT_FALSE(startCapture(*unstopped).has_value());
    awaitSomeRecording(*unstopped);
    unstopped.reset();
    EXPECT_EQ(droppedReports.snapshot().size(), 1u);

    for (const fs::path& movie : {stoppedTwice, dropped}) {
        SCOPED_TRACE(movie.string());
        EXPECT_EQ(MovieProbe(movie).streams.size(), 2u);
        EXPECT_EQ(decodeErrors(movie), "");
    }
}

TEST_F(RealtimeStreamTest, UnpluggedDisplayStopsTheRecordingWithItsReasonAndKeepsWhatWasRecorded) {
    ASSERT_EQ(std::system("xrandr --setmonitor brief 640/169x480/127+0+0 none"), 0);
    std::vector<DisplayInfo> displays;
    X11ScreenCapture().shareableContent([&](const auto& content) {
        if (content) {
            displays = content->displays;
        }
    });
    const auto brief = std::ranges::find(displays, 640, &DisplayInfo::width);
    ASSERT_NE(brief, displays.end());
    StreamConfiguration stream = configuration(true, std::nullopt);
    stream.displayID = brief->displayID;
    stream.width = 320;
    stream.height = 240;
    const fs::path movie = folder.path() / "unplugged.mov";
    auto recording = make(stream, movie);
    ASSERT_FALSE(startCapture(*recording).has_value());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(std::system("xrandr --delmonitor brief"), 0);

    const auto reported = reports.awaitFirst();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].first, "stopped");
    EXPECT_EQ(reported[0].second->description, "The display to capture is no longer connected.");
    stopCapture(*recording);
    EXPECT_EQ(reports.snapshot().size(), 1u);
    EXPECT_EQ(MovieProbe(movie).streams.size(), 2u);
}

TEST_F(RealtimeStreamTest, AKilledRecordingPlaysUpToTheLastSecondAndTheNextStartMakesItRegular) {
    TonePlayer player(folder.path(), "sysout");
    struct Case {
        MovieFileType type;
        fs::path movie;
        const char* brand;
        std::vector<MovieProbe::Stream> left = {};
    } cases[] = {
        {MovieFileType::quickTimeMovie, folder.path() / "Ventilux-killed.mov", "qt  "},
        {MovieFileType::mpeg4, folder.path() / "Ventilux-killed.mp4", "isom"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.movie.filename().string());
        const double recorded = recordUntilKilled(configuration(true, std::nullopt), c.type,
                                                  c.movie, std::chrono::milliseconds(3200));
        ASSERT_GT(recorded, 0) << "the recording never started";
        const MovieProbe left(c.movie);
        ASSERT_EQ(left.streams.size(), 2u);
        expectAllButTheLastSecond(left, recorded);
        c.left = left.streams;
    }

    auto next = make(configuration(false, std::nullopt), folder.path() / "Ventilux-next.mov");
    ASSERT_FALSE(startCapture(*next).has_value());
    stopCapture(*next);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie.filename().string());
        EXPECT_TRUE(isRegularWithIndexInFront(c.movie));
        EXPECT_EQ(fixtures::commandOutput("ffprobe -v error -show_entries format_tags=major_brand "
                                          "-of csv=p=0 " +
                                          fixtures::quoted(c.movie)),
                  c.brand + std::string("\n"));
        EXPECT_EQ(decodeErrors(c.movie), "");
        const MovieProbe finished(c.movie);
        ASSERT_EQ(finished.streams.size(), 2u);
        for (size_t i = 0; i < finished.streams.size(); ++i) {
            EXPECT_NEAR(finished.streams[i].duration, c.left[i].duration, 0.05);
        }
    }
}

TEST_F(RealtimeStreamTest, FullDiskFailsTheRecordingAndLeavesThePartialFile) {
    TemporaryFolder small;
    // Room for a few seconds of the tone and the still screen.
    if (::mount("tmpfs", small.path().c_str(), "tmpfs", 0, "size=96k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    TonePlayer player(folder.path(), "sysout");
    const fs::path movie = small.path() / "full.mov";
    auto recording = make(configuration(true, std::nullopt), movie);
    ASSERT_FALSE(startCapture(*recording).has_value());
    const Clock::time_point started = Clock::now();

    const auto reported = reports.awaitFirst();
    const double failedAfter = std::chrono::duration<double>(Clock::now() - started).count();
    stopCapture(*recording);
    const MovieProbe left(movie);
    const std::string errors = decodeErrors(movie);
    ::umount2(small.path().c_str(), MNT_DETACH);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].first, "failed");
    EXPECT_EQ(reported[0].second->description,
              "Cannot write " + movie.string() + ": No space left on device.");
    ASSERT_EQ(left.streams.size(), 2u) << "the partial file does not play";
    expectAllButTheLastSecond(left, failedAfter);
    EXPECT_EQ(errors, "");
}

// Screen pixels into the encoder's pictures: BT.709 limited range, every
// sample where it belongs, and pictures that stay as they were while held.
class RealtimeFrameScalerTest : public ::testing::Test {
  protected:
    // Pixels whose blue, green and red each run their own way across the
    // picture, so that a sample in the wrong place or channel shows.
    static std::vector<uint8_t> pattern(int width, int height, int seed) {
        std::vector<uint8_t> pixels(size_t(width) * height * 4);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
                p[0] = uint8_t(x * 5 + seed), p[1] = uint8_t(y * 9 + seed),
                p[2] = uint8_t(x * 3 + y * 7);
                p[3] = uint8_t(seed);
            }
        }
        return pixels;
    }
    static AVFrame* convert(RealtimeFrameScaler& scaler, const std::vector<uint8_t>& pixels,
                            int width, int height, std::vector<AvFramePtr>& held) {
        auto picture = scaler.convert({pixels.data(), width, height, ptrdiff_t(width) * 4});
        EXPECT_TRUE(picture.has_value());
        held.push_back(std::move(*picture));
        return held.back().get();
    }
    // The luma plane, to compare a picture with itself later.
    static std::vector<uint8_t> luma(const AVFrame& picture) {
        std::vector<uint8_t> rows;
        for (int y = 0; y < picture.height; ++y) {
            const uint8_t* row = picture.data[0] + y * picture.linesize[0];
            rows.insert(rows.end(), row, row + picture.width);
        }
        return rows;
    }
};

// Colours at the screen's own size are checked with the time-lapse's frames,
// which go through the same conversion.
TEST_F(RealtimeFrameScalerTest, HalvedPicturesKeepTheirColours) {
    std::vector<AvFramePtr> held;
    std::vector<uint8_t> red(64 * 16 * 4);
    for (size_t i = 2; i < red.size(); i += 4) {
        red[i] = 255;
    }
    auto halving = RealtimeFrameScaler::open(64, 16, 32, 8);
    ASSERT_TRUE(halving.has_value());
    const AVFrame* halved = convert(**halving, red, 64, 16, held);
    EXPECT_NEAR(halved->data[0][3 * halved->linesize[0] + 17], 63, 1);
    EXPECT_NEAR(halved->data[1][2 * halved->linesize[1] + 7], 102, 1);
    EXPECT_NEAR(halved->data[2][2 * halved->linesize[2] + 7], 240, 1);
}

TEST_F(RealtimeFrameScalerTest, AHeldPictureKeepsItsPixelsUntilLetGoAndOutlivesItsScaler) {
    constexpr int kWidth = 64, kHeight = 4;
    const auto first = pattern(kWidth, kHeight, 0);
    const auto second = pattern(kWidth, kHeight, 100);
    auto scaler = RealtimeFrameScaler::open(kWidth, kHeight, kWidth, kHeight);
    ASSERT_TRUE(scaler.has_value());
    std::vector<AvFramePtr> held;
    const AVFrame* kept = convert(**scaler, first, kWidth, kHeight, held);
    const uint8_t* keptPixels = kept->data[0];
    const std::vector<uint8_t> keptLuma = luma(*kept);
    const std::vector<uint8_t> secondLuma = luma(*convert(**scaler, second, kWidth, kHeight, held));
    ASSERT_NE(keptLuma, secondLuma);
    EXPECT_EQ(luma(*kept), keptLuma) << "overwritten by the next picture";
    // Let go, its memory serves the next picture instead of new memory.
    held.erase(held.begin());
    EXPECT_EQ(convert(**scaler, second, kWidth, kHeight, held)->data[0], keptPixels)
        << "a new buffer for every picture";
    scaler->reset();
    EXPECT_EQ(luma(*held.back()), secondLuma) << "gone with its scaler";
}

// The mixer on its own, with sources that misbehave as real ones do.
class AudioMixerTest : public ::testing::Test {
  protected:
    static constexpr int kRate = 1000;  // one sample per millisecond keeps the arithmetic plain

    AudioMixerTest() : mixer(2, kRate, 2) { mixer.begin(origin); }
    Clock::time_point at(int milliseconds) const {
        return origin + std::chrono::milliseconds(milliseconds);
    }
    // `frames` stereo samples of `value` from `input`, the last captured at `endMs`.
    void deliver(int input, float value, int frames, int endMs) {
        const std::vector<float> samples(size_t(frames) * 2, value);
        mixer.add(input, samples, at(endMs));
    }
    // The left channel of the next mix, one value per millisecond.
    std::vector<float> mixUntil(int64_t until) {
        const std::vector<float> mix = mixer.mixUntil(until);
        std::vector<float> left;
        for (size_t i = 0; i < mix.size(); i += 2) {
            EXPECT_EQ(mix[i], mix[i + 1]);
            left.push_back(mix[i]);
        }
        return left;
    }
    static std::vector<float> run(std::initializer_list<std::pair<int, float>> spans) {
        std::vector<float> values;
        for (const auto& [length, value] : spans) {
            values.insert(values.end(), size_t(length), value);
        }
        return values;
    }

    Clock::time_point origin = Clock::now();
    AudioMixer mixer;
};

TEST_F(AudioMixerTest, SourcesOnTimeAddUpAndLoudSumsAreClipped) {
    for (int end = 20; end <= 200; end += 20) {
        deliver(0, 0.25f, 20, end);
        deliver(1, 0.5f, 20, end);
    }
    EXPECT_EQ(mixUntil(100), run({{100, 0.75f}}));
    for (int end = 220; end <= 300; end += 20) {
        deliver(0, 0.8f, 20, end);
        deliver(1, 0.8f, 20, end);
    }
    EXPECT_EQ(mixUntil(300), run({{100, 0.75f}, {100, 1.0f}}));
}

TEST_F(AudioMixerTest, SilentOrIdleSourcesAreFilledWithSilenceSoTheTrackKeepsItsLength) {
    // Source 1 never sends anything; source 0 sends 100 ms, pauses, then goes on.
    deliver(0, 0.5f, 100, 100);
    EXPECT_EQ(mixUntil(300), run({{100, 0.5f}, {200, 0.0f}}));
    deliver(0, 0.25f, 100, 500);
    EXPECT_EQ(mixUntil(600), run({{100, 0.0f}, {100, 0.25f}, {100, 0.0f}}));
}

TEST_F(AudioMixerTest, ALateBurstLandsWhereItWasCapturedAndWhatIsTooLateIsDropped) {
    // An idle output sends two seconds at once; the mix has gone past its start.
    mixUntil(700);
    deliver(0, 0.5f, 1000, 1000);
    EXPECT_EQ(mixUntil(1200), run({{300, 0.5f}, {200, 0.0f}}));
}

TEST_F(AudioMixerTest, ASourceWhoseClockDriftsOrRunsBehindIsPutBackWhereItWasTaken) {
    struct Case {
        const char* what;
        int driftMs;   // each piece taken this much later than the one before would fall
        int behindMs;  // every piece but the first taken this much later
    } cases[] = {{"drifting", 2, 0}, {"steadily behind", 0, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AudioMixer fresh(1, kRate, 2);
        fresh.begin(origin);
        int lastEnd = 0;
        for (int piece = 0; piece < 100; ++piece) {
            lastEnd = 20 * (piece + 1) + c.driftMs * piece + (piece > 0 ? c.behindMs : 0);
            fresh.add(0, std::vector<float>(40, 0.5f), at(lastEnd));
        }
        const std::vector<float> mix = fresh.mixUntil(2400);
        const int sounding = int(std::count(mix.begin(), mix.end(), 0.5f)) / 2;
        EXPECT_EQ(sounding, 2000) << "samples were lost or made up";
        // Slips are followed in steps, not left to grow to where a re-anchoring
        // would catch them.
        const int lastAt = int(mix.rend() - std::find(mix.rbegin(), mix.rend(), 0.5f)) / 2;
        EXPECT_NEAR(lastAt, lastEnd, 16 * c.driftMs + 1);
    }
}

TEST(SampleClockTest, StrayReadingsAreOutvotedAndAJumpIsFollowed) {
    const auto origin = Clock::now();
    const auto ms = [](int n) { return std::chrono::milliseconds(n); };
    SampleClock clock(1000);
    EXPECT_FALSE(clock.timeOf(0).has_value());
    // A settling server's first readings are far off, later ones scatter.
    clock.observe(0, origin + ms(600));
    for (int reading = 1; reading < 20; ++reading) {
        clock.observe(reading * 20, origin + ms(reading * 20 + (reading % 3) - 1));
    }
    clock.observe(400, origin + ms(530));
    EXPECT_EQ(clock.timeOf(1000), origin + ms(1000));
    // The server skipped 50 ms of its time.
    for (int reading = 21; reading < 60; ++reading) {
        clock.observe(reading * 20, origin + ms(reading * 20 + 50));
    }
    EXPECT_EQ(clock.timeOf(1000), origin + ms(1050));
}

}  // namespace
}  // namespace vx::platform::linux_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "MovieProbe.h"
#include "TemporaryFolder.h"
#include "platform/MovieWriter.h"
#include "platform/linux/media/UnfinishedMovies.h"
#include "platform/linux/media/timelapse/FfmpegMovieWriters.h"
#include "platform/linux/media/timelapse/TimelapseFrameConverter.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vx::platform::linux_ {
namespace {

namespace fs = std::filesystem;
using fixtures::contents;
using fixtures::decodeErrors;
using fixtures::isFragmented;
using fixtures::MovieProbe;
using fixtures::TemporaryFolder;

// Long enough that only a lost handler or a deadlock comes near it.
constexpr auto kPatience = std::chrono::seconds(60);

struct Rgb {
    int r, g, b;
};
// Saturated colours: a wrong colour matrix shifts them far more than grey.
const std::vector<Rgb> kPalette = {{200, 30, 40}, {30, 180, 60}, {40, 60, 210}, {220, 200, 40}};
constexpr Rgb kPadding = {255, 0, 255};

VideoTrackSettings track(int64_t width, int64_t height, int32_t fps) {
    return {width, height, std::max<int64_t>(width * height * 4, 2'000'000), 30, fps};
}

// Left half one colour, right half another; the bytes between rows (and only
// between rows: the last row ends the allocation) are a third.
std::shared_ptr<const PixelBuffer> twoColourFrame(int64_t width, int64_t height,
                                                  int64_t extraStride, Rgb left, Rgb right) {
    const int64_t stride = width * 4 + extraStride;
    std::vector<uint8_t> bytes(stride * (height - 1) + width * 4);
    for (int64_t y = 0; y < height; ++y) {
        for (int64_t x = 0; x * 4 < stride && (y + 1 < height || x < width); ++x) {
            const Rgb c = x >= width ? kPadding : x < width / 2 ? left : right;
            uint8_t* pixel = bytes.data() + y * stride + x * 4;
            pixel[0] = uint8_t(c.b), pixel[1] = uint8_t(c.g), pixel[2] = uint8_t(c.r);
        }
    }
    return std::make_shared<PixelBuffer>(PixelBuffer{width, height, stride, std::move(bytes)});
}

std::vector<uint8_t> noise(size_t size, unsigned seed) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    std::generate(bytes.begin(), bytes.end(), [&] { return uint8_t(random()); });
    return bytes;
}

// Incompressible pictures, so fragments are large and a disk fills quickly.
std::shared_ptr<const PixelBuffer> noiseFrame(int64_t width, int64_t height, unsigned seed) {
    return std::make_shared<PixelBuffer>(
        PixelBuffer{width, height, width * 4, noise(width * height * 4, seed)});
}

// Each frame's left and right halves, averaged, as the decoder shows them.
std::vector<std::pair<Rgb, Rgb>> halves(const fs::path& movie) {
    const std::string bytes = fixtures::commandOutput(
        "ffmpeg -nostdin -v quiet -i " + fixtures::quoted(movie) +
        " -vf format=rgb24,scale=2:1:flags=area -f rawvideo -pix_fmt rgb24 -");
    std::vector<std::pair<Rgb, Rgb>> frames;
    for (size_t at = 0; at + 6 <= bytes.size(); at += 6) {
        const auto byte = [&](size_t i) { return int(uint8_t(bytes[at + i])); };
        frames.push_back({{byte(0), byte(1), byte(2)}, {byte(3), byte(4), byte(5)}});
    }
    return frames;
}

testing::AssertionResult near(Rgb seen, Rgb wanted) {
    constexpr int kTolerance = 10;
    const bool close = std::abs(seen.r - wanted.r) <= kTolerance &&
                       std::abs(seen.g - wanted.g) <= kTolerance &&
                       std::abs(seen.b - wanted.b) <= kTolerance;
    return (close ? testing::AssertionSuccess() : testing::AssertionFailure())
           << "saw (" << seen.r << ", " << seen.g << ", " << seen.b << "), wanted (" << wanted.r
           << ", " << wanted.g << ", " << wanted.b << ")";
}

std::unique_ptr<MovieWriter> startedWriter(FfmpegMovieWriters& writers, const fs::path& file,
                                           const VideoTrackSettings& settings) {
    auto created = writers.create(file);
    if (!created) {
        ADD_FAILURE() << created.error().description;
        return nullptr;
    }
    auto writer = std::move(*created);
    EXPECT_TRUE(writer->addVideoTrack(settings));
    EXPECT_TRUE(writer->startWriting());
    return writer;
}

// What the capture queue does: wait for room, then hand the frame over.
bool appendWhenReady(MovieWriter& writer, std::shared_ptr<const PixelBuffer> frame,
                     MediaTime time) {
    const auto readyOrEnded = [&] {
        return writer.isReadyForMoreMediaData() || writer.status() != WriterStatus::writing;
    };
    return fixtures::within(kPatience, readyOrEnded, std::chrono::milliseconds(1)) &&
           writer.isReadyForMoreMediaData() && writer.append(std::move(frame), time);
}

WriterStatus finish(MovieWriter& writer) {
    std::promise<void> done;
    writer.markAsFinished();
    writer.finishWriting([&done] { done.set_value(); });
    EXPECT_EQ(done.get_future().wait_for(kPatience), std::future_status::ready);
    return writer.status();
}

// Frames of two colours each, written and finished, read back frame by frame: sizes
// odd and even, rows with and without bytes between them, frame rates from one to
// sixty, and a screen large enough for the encoder's other set-up.
TEST(FfmpegMovieWriter, AFinishedMovieHoldsEveryFrameInOrderAtItsExactTime) {
    const struct {
        int32_t fps;
        int frames;
        int64_t width, height, extraStride;
    } cases[] = {{30, 75, 320, 240, 0},
                 {24, 30, 162, 120, 12},
                 {1, 4, 64, 48, 4},
                 {60, 8, 98, 62, 102},
                 {30, 6, 2560, 1440, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " +
                     std::to_string(c.fps) + " fps");
        TemporaryFolder folder;
        const fs::path file = folder.path() / "Ventilux-2026-03-14_09-05-07.mp4";
        FfmpegMovieWriters writers;
        auto writer = startedWriter(writers, file, track(c.width, c.height, c.fps));
        ASSERT_TRUE(writer);
        const auto colour = [](int k) { return kPalette[k % kPalette.size()]; };
        for (int k = 0; k < c.frames; ++k) {
            ASSERT_TRUE(appendWhenReady(
                *writer, twoColourFrame(c.width, c.height, c.extraStride, colour(k), colour(k + 1)),
                MediaTime{k, c.fps}));
        }
        ASSERT_EQ(finish(*writer), WriterStatus::completed) << writer->error()->description;

        const MovieProbe movie(file);
        const MovieProbe::Stream video = movie.stream("video");
        EXPECT_EQ(video.codec, "h264");
        EXPECT_EQ(video.width, c.width);
        EXPECT_EQ(video.height, c.height);
        ASSERT_EQ(movie.packets.size(), size_t(c.frames));
        int sinceKey = 0;
        for (int k = 0; k < c.frames; ++k) {
            EXPECT_TRUE(video.atTime(movie.packets[k].pts, k, c.fps)) << "frame " << k;
            sinceKey = movie.packets[k].key ? 0 : sinceKey + 1;
            EXPECT_LT(sinceKey, 30) << "frame " << k;
        }
        EXPECT_TRUE(video.atTime(video.durationTs, c.frames, c.fps)) << video.durationTs;
        EXPECT_FALSE(isFragmented(file));
        EXPECT_EQ(decodeErrors(file), "");
        const auto seen = halves(file);
        ASSERT_EQ(seen.size(), size_t(c.frames));
        for (int k = 0; k < c.frames; ++k) {
            EXPECT_TRUE(near(seen[k].first, colour(k))) << "frame " << k;
            EXPECT_TRUE(near(seen[k].second, colour(k + 1))) << "frame " << k;
        }
    }
}

// Each luma sample is its pixel's BT.709 luma, each chroma sample that of the mean of
// its 2 × 2 pixels (an odd size's last column or row counts twice), whatever the size
// and the padding between rows. Chroma is rounded exactly; luma, weighed in 8 bits,
// stays within 0.82 of a level.
TEST(FfmpegMovieWriter, FramesConvertToTheExactColoursOfTheirPixels) {
    for (auto [width, height] : {std::pair{91, 11}, {64, 2}, {1, 1}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const int64_t stride = width * 4 + 8;
        const std::vector<uint8_t> bytes = noise(stride * height, width);
        auto converter = TimelapseFrameConverter::open(width, height);
        ASSERT_TRUE(converter.has_value());
        auto picture = (*converter)->convert({width, height, stride, bytes});
        ASSERT_TRUE(picture.has_value());
        // Y, Cb, Cr of full-range B, G, R at 0..1, limited range.
        const auto exact = [](double b, double g, double r) {
            const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
            return std::array{16 + 219 * y, 128 + 224 * (b - y) / 1.8556,
                              128 + 224 * (r - y) / 1.5748};
        };
        const auto sample = [&](int plane, int x, int y) {
            return (*picture)->data[plane][y * (*picture)->linesize[plane] + x];
        };
        const auto channel = [&](int x, int y, int c) {
            return bytes[y * stride + std::min(x, width - 1) * 4 + c] / 255.0;
        };
        double worstLuma = 0;
        double worst = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const auto colour = exact(channel(x, y, 0), channel(x, y, 1), channel(x, y, 2));
                worstLuma = std::max(worstLuma, std::abs(sample(0, x, y) - colour[0]));
                if (x % 2 == 0 && y % 2 == 0) {
                    const int below = std::min(y + 1, height - 1);
                    const auto mean = [&](int c) {
                        return (channel(x, y, c) + channel(x + 1, y, c) + channel(x, below, c) +
                                channel(x + 1, below, c)) /
                               4;
                    };
                    const auto block = exact(mean(0), mean(1), mean(2));
                    worst = std::max(worst, std::abs(sample(1, x / 2, y / 2) - block[1]));
                    worst = std::max(worst, std::abs(sample(2, x / 2, y / 2) - block[2]));
                }
            }
        }
        EXPECT_LT(worstLuma, 0.82);
        EXPECT_LT(worst, 0.6);
    }
}

TEST(FfmpegMovieWriter, CreateNeverReplacesAFileAndSaysWhyItFailed) {
    TemporaryFolder folder;
    const fs::path existing = folder.path() / "Ventilux-2026-03-14_09-05-07.mp4";
    std::ofstream(existing) << "keep me";
    const struct {
        fs::path file;
        std::string reason;
    } cases[] = {
        {existing, "File exists"},
        {folder.path() / "missing" / "Ventilux-1.mp4", "No such file or directory"},
    };
    FfmpegMovieWriters writers;
    for (const auto& c : cases) {
        auto created = writers.create(c.file);
        ASSERT_FALSE(created) << c.file;
        EXPECT_EQ(created.error().domain, "POSIX");
        EXPECT_EQ(created.error().description,
                  "Cannot create " + c.file.string() + ": " + c.reason + ".");
    }
    EXPECT_EQ(contents(existing), "keep me");
}

TEST(FfmpegMovieWriter, FramesThatDoNotFitAreRefusedAndLeaveNoGap) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "Ventilux-1.mp4";
    FfmpegMovieWriters writers;
    auto writer = startedWriter(writers, file, track(64, 48, 30));
    ASSERT_TRUE(writer);
    const auto good = [](int64_t w, int64_t h) {
        return twoColourFrame(w, h, 0, kPalette[0], kPalette[1]);
    };
    const auto frame = good(64, 48);
    const PixelBytes bytes = frame->bytes;
    auto shortRows = std::make_shared<PixelBuffer>(PixelBuffer{64, 48, 64 * 4 - 4, bytes});
    auto tooFewBytes = std::make_shared<PixelBuffer>(
        PixelBuffer{64, 48, 64 * 4, PixelBytes(bytes.data(), bytes.size() - 1, frame)});
    const struct {
        std::shared_ptr<const PixelBuffer> frame;
        MediaTime time;
        bool accepted;
    } offers[] = {
        {good(64, 48), {0, 30}, true},  {good(66, 48), {1, 30}, false},
        {good(64, 50), {1, 30}, false}, {shortRows, {1, 30}, false},
        {tooFewBytes, {1, 30}, false},  {nullptr, {1, 30}, false},
        {good(64, 48), {0, 30}, false}, {good(64, 48), MediaTime::invalid(), false},
        {good(64, 48), {1, 30}, true},  {good(64, 48), {4, 60}, true},
    };
    for (size_t i = 0; i < std::size(offers); ++i) {
        EXPECT_EQ(appendWhenReady(*writer, offers[i].frame, offers[i].time), offers[i].accepted)
            << "offer " << i;
    }
    writer->markAsFinished();
    EXPECT_FALSE(writer->isReadyForMoreMediaData());
    EXPECT_FALSE(writer->append(good(64, 48), {3, 30}));
    ASSERT_EQ(finish(*writer), WriterStatus::completed);
    const MovieProbe movie(file);
    ASSERT_EQ(movie.packets.size(), 3u);
    EXPECT_TRUE(movie.stream("video").atTime(movie.packets[2].pts, 2, 30));
}

TEST(FfmpegMovieWriter, FramesOfferedFasterThanItEncodesAreRefusedNotQueued) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "Ventilux-1.mp4";
    FfmpegMovieWriters writers;
    auto writer = startedWriter(writers, file, track(640, 360, 30));
    ASSERT_TRUE(writer);
    std::vector<std::shared_ptr<const PixelBuffer>> frames;
    for (unsigned k = 0; k < 20; ++k) {
        frames.push_back(noiseFrame(640, 360, k));
    }
    int accepted = 0;
    for (const auto& frame : frames) {
        accepted += writer->append(frame, {accepted, 30}) ? 1 : 0;
    }
    EXPECT_LT(accepted, 20);
    ASSERT_EQ(finish(*writer), WriterStatus::completed);
    EXPECT_EQ(MovieProbe(file).packets.size(), size_t(accepted));
}

// The writer in a child process that is killed while it appends.
pid_t writeUntilKilled(const fs::path& file, const VideoTrackSettings& settings) {
    const pid_t child = ::fork();
    if (child != 0) {
        return child;
    }
    FfmpegMovieWriters writers;
    auto created = writers.create(file);
    if (!created || !(*created)->addVideoTrack(settings) || !(*created)->startWriting()) {
        ::_exit(3);
    }
    for (int k = 0;; ++k) {
        appendWhenReady(**created, noiseFrame(settings.width, settings.height, k),
                        {k, settings.timescale});
    }
}

// The next movie made in the folder makes the killed writer's movie regular.
TEST(FfmpegMovieWriter, AWriterKilledMidMovieLeavesAPlayableMovieThatTheNextMakesRegular) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "Ventilux-2026-03-14_09-05-07.mp4";
    // A high bit rate makes fragments larger than one write, so the kill can
    // land inside one.
    VideoTrackSettings settings = track(320, 240, 30);
    settings.averageBitRate = 40'000'000;
    const pid_t child = writeUntilKilled(file, settings);
    constexpr size_t kFramesBeforeKill = 12;
    fixtures::within(kPatience,
                     [&] { return MovieProbe(file).packets.size() >= kFramesBeforeKill; });
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    const MovieProbe left(file);
    ASSERT_GE(left.packets.size(), kFramesBeforeKill);
    for (size_t k = 0; k < kFramesBeforeKill; ++k) {
        EXPECT_TRUE(left.stream("video").atTime(left.packets[k].pts, int64_t(k), 30)) << k;
    }

    FfmpegMovieWriters writers;
    ASSERT_TRUE(writers.create(folder.path() / "Ventilux-2026-03-14_09-05-09.mp4"));
    EXPECT_FALSE(isFragmented(file));
    const MovieProbe recovered(file);
    const MovieProbe::Stream video = recovered.stream("video");
    // A fragment torn by the kill may have shown ffprobe a partial frame.
    ASSERT_GE(recovered.packets.size(), std::max(kFramesBeforeKill, left.packets.size() - 1));
    ASSERT_LE(recovered.packets.size(), left.packets.size());
    for (size_t k = 0; k < recovered.packets.size(); ++k) {
        EXPECT_TRUE(video.atTime(recovered.packets[k].pts, int64_t(k), 30)) << "frame " << k;
    }
    EXPECT_TRUE(video.atTime(video.durationTs, int64_t(recovered.packets.size()), 30));
    EXPECT_EQ(decodeErrors(file), "");
}

// A fragmented movie of `frames` frames, as a writer cancelled mid-way leaves it.
void writeUnfinished(const fs::path& file, int frames) {
    FfmpegMovieWriters writers;
    auto writer = startedWriter(writers, file, track(64, 48, 30));
    ASSERT_TRUE(writer);
    for (int k = 0; k < frames; ++k) {
        ASSERT_TRUE(appendWhenReady(*writer, noiseFrame(64, 48, k), {k, 30}));
    }
    // Room for another frame may mean the last one still waits: a cancel
    // would drop it.
    while (writer->writtenFrameCount() < frames && writer->status() == WriterStatus::writing) {
        std::this_thread::yield();
    }
    writer->cancelWriting();
    EXPECT_EQ(writer->status(), WriterStatus::cancelled);
}

TEST(FfmpegMovieWriter, RecoveryDropsATornLastFragmentAndKeepsTheRest) {
    TemporaryFolder folder;
    const fs::path whole = folder.path() / "whole.mp4";
    writeUnfinished(whole, 5);
    const std::string bytes = contents(whole);
    const auto top = fixtures::boxes(bytes, 0, bytes.size());
    ASSERT_GE(top.size(), 2u);
    const auto lastMdat = top.back(), lastMoof = top[top.size() - 2];
    ASSERT_EQ(lastMdat.type, "mdat");
    ASSERT_EQ(lastMoof.type, "moof");
    const struct {
        size_t length;
        size_t frames;
    } cuts[] = {
        {bytes.size(), 5},
        {lastMdat.offset + lastMdat.size / 2, 4},
        {lastMdat.offset + 4, 4},
        {lastMoof.offset + lastMoof.size / 2, 4},
    };
    for (const auto& cut : cuts) {
        const fs::path file = folder.path() / "Ventilux-torn.mp4";
        std::ofstream(file, std::ios::binary) << bytes.substr(0, cut.length);
        EXPECT_EQ(UnfinishedMovies::finalise(folder.path()), std::vector<fs::path>{file});
        EXPECT_FALSE(isFragmented(file));
        EXPECT_EQ(MovieProbe(file).packets.size(), cut.frames) << "cut at " << cut.length;
        EXPECT_EQ(decodeErrors(file), "");
        fs::remove(file);
    }
}

// Hidden copies that a crash abandoned while finishing go; the one a live finish
// holds stays.
TEST(FfmpegMovieWriter, RecoveryLeavesAloneWhatItCannotOrMustNotFinaliseAndDropsAbandonedCopies) {
    TemporaryFolder folder;
    const fs::path live = folder.path() / "Ventilux-live.mp4";
    FfmpegMovieWriters writers;
    auto writer = startedWriter(writers, live, track(64, 48, 30));
    ASSERT_TRUE(writer);
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(appendWhenReady(*writer, noiseFrame(64, 48, k), {k, 30}));
    }
    writeUnfinished(folder.path() / "Other-name.mp4", 2);
    writeUnfinished(folder.path() / "Ventilux-no-frames.mp4", 0);
    std::ofstream(folder.path() / "Ventilux-not-a-movie.mp4") << std::string(4096, 'x');
    {
        auto regular =
            startedWriter(writers, folder.path() / "Ventilux-regular.mp4", track(64, 48, 30));
        ASSERT_TRUE(appendWhenReady(*regular, noiseFrame(64, 48, 0), {0, 30}));
        ASSERT_EQ(finish(*regular), WriterStatus::completed);
    }
    const fs::path inProgress = folder.path() / ".Ventilux-2.mp4.finishing-d4e5f6";
    std::ofstream(inProgress) << "half a movie";
    const int held = ::open(inProgress.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    std::vector<std::pair<fs::path, std::string>> before;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        before.emplace_back(entry.path(), contents(entry.path()));
    }
    const fs::path abandoned = folder.path() / ".Ventilux-1.mp4.finishing-a1b2c3";
    std::ofstream(abandoned) << "half a movie";

    EXPECT_EQ(UnfinishedMovies::finalise(folder.path()), std::vector<fs::path>{});
    for (const auto& [file, bytes] : before) {
        EXPECT_EQ(contents(file), bytes) << file;
    }
    EXPECT_FALSE(fs::exists(abandoned));
    ::close(held);
    ASSERT_EQ(finish(*writer), WriterStatus::completed);
    EXPECT_EQ(MovieProbe(live).packets.size(), 3u);
    EXPECT_FALSE(isFragmented(live));
}

TEST(FfmpegMovieWriter, EndingWithoutAFinishNeverHangs) {
    TemporaryFolder folder;
    FfmpegMovieWriters writers;
    int made = 0;
    const auto withFrames = [&] {
        const fs::path file = folder.path() / ("Ventilux-" + std::to_string(made++) + ".mp4");
        auto writer = startedWriter(writers, file, track(1280, 720, 30));
        for (int k = 0; writer && k < 2; ++k) {
            writer->append(noiseFrame(1280, 720, k), {k, 30});
        }
        return writer;
    };
    {
        SCOPED_TRACE("cancelled with frames in hand");
        auto writer = withFrames();
        writer->cancelWriting();
        EXPECT_EQ(writer->status(), WriterStatus::cancelled);
    }
    // Destroyed with frames in hand, and before it started.
    withFrames();
    ASSERT_TRUE(writers.create(folder.path() / "Ventilux-unstarted.mp4"));
    {
        SCOPED_TRACE("destroyed by its own finish handler");
        std::promise<WriterStatus> done;
        MovieWriter* writer = withFrames().release();
        writer->finishWriting([&done, writer] {
            const WriterStatus status = writer->status();
            delete writer;
            done.set_value(status);
        });
        auto result = done.get_future();
        ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready);
        EXPECT_EQ(result.get(), WriterStatus::completed);
    }
    bool handled = false;
    withFrames()->finishWriting([&handled] { handled = true; });  // destroyed as the line ends
    EXPECT_TRUE(handled) << "destroyed while it finishes";
}

// A tmpfs of a few hundred kilobytes, for what a full disk does, with a writer on it.
class FfmpegMovieWriterSmallDisk : public testing::Test {
  protected:
    void SetUp() override {
        if (::mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=300k") != 0) {
            GTEST_SKIP() << "mounting a small tmpfs needs root";
        }
        mounted = true;
        writer = startedWriter(writers, file, track(320, 240, 30));
        ASSERT_TRUE(writer);
    }
    void TearDown() override {
        writer.reset();
        if (mounted) {
            ::umount2(folder.path().c_str(), MNT_DETACH);
        }
    }

    TemporaryFolder folder;
    bool mounted = false;
    const fs::path file = folder.path() / "Ventilux-1.mp4";
    FfmpegMovieWriters writers;
    std::unique_ptr<MovieWriter> writer;
};

TEST_F(FfmpegMovieWriterSmallDisk, FillingUpFailsTheMovieWithAClearSentence) {
    int k = 0;
    while (k < 1000 && appendWhenReady(*writer, noiseFrame(320, 240, k), {k, 30})) {
        ++k;
    }
    ASSERT_LT(k, 1000) << "the disk never filled up";
    EXPECT_FALSE(writer->append(noiseFrame(320, 240, k), {k, 30}));
    ASSERT_EQ(finish(*writer), WriterStatus::failed);
    ASSERT_TRUE(writer->error());
    EXPECT_EQ(writer->error()->description,
              "Cannot write " + file.string() + ": No space left on device.");
}

TEST_F(FfmpegMovieWriterSmallDisk, TooFullToFinaliseKeepsThePlayableFragmentedMovie) {
    // More than half the disk: a regular copy beside it cannot fit.
    int frames = 0;
    while (fs::file_size(file) < 180 * 1024) {
        ASSERT_TRUE(appendWhenReady(*writer, noiseFrame(320, 240, frames), {frames, 30}));
        ++frames;
    }
    ASSERT_EQ(finish(*writer), WriterStatus::completed);
    EXPECT_TRUE(isFragmented(file));
    EXPECT_EQ(MovieProbe(file).packets.size(), size_t(frames));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vx::platform::linux_

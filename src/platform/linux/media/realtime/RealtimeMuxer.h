#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/RecordingStream.h"
#include "platform/Types.h"
#include "platform/linux/media/FdAvioContext.h"
#include "platform/linux/media/LockedMovieFile.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVPacket;

namespace vx::platform::linux_ {

// Writes the tracks of a live recording into one QuickTime or MPEG-4 file.
// Encoders on several threads hand their packets in at once; the muxer puts
// them in time order across tracks.
class RealtimeMuxer {
  public:
    // One track per encoder, in this order; the file header is written here.
    static std::expected<std::unique_ptr<RealtimeMuxer>, Error> open(
        LockedMovieFile file, MovieFileType type, const std::vector<const AVCodecContext*>& tracks);
    ~RealtimeMuxer();
    RealtimeMuxer(const RealtimeMuxer&) = delete;
    RealtimeMuxer& operator=(const RealtimeMuxer&) = delete;

    // Any thread. Packet times count in the track's encoder time base.
    std::expected<void, Error> write(int track, AVPacket& packet);
    // Writes what is still held back and the index that ends the file.
    std::expected<void, Error> finish();

    // Any thread, without waiting: how far the written tracks reach, and the
    // bytes handed to the file so far.
    MediaTime duration() const { return {writtenMicroseconds_.load(), 1'000'000}; }
    int64_t size() const { return writtenBytes_.load(); }

  private:
    RealtimeMuxer(LockedMovieFile file, AVFormatContext* format, std::unique_ptr<FdAvioContext> io);
    Error failure(int averror) const;

    LockedMovieFile file_;
    std::unique_ptr<FdAvioContext> io_;
    std::mutex mutex_;  // one writer at a time into format_
    AVFormatContext* format_;
    struct TimeBase {
        int num;
        int den;
    };
    std::vector<TimeBase> encoderTimeBases_;  // fixed after open
    std::atomic<int64_t> writtenMicroseconds_{0};
    std::atomic<int64_t> writtenBytes_{0};
};

}  // namespace vx::platform::linux_
